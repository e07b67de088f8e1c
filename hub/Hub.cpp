#include "Hub.h"

#include "ChannelNames.h"
#include "ComPort.h"
#include "ConsoleLink.h"
#include "ControllerProtocol.h"
#include "ControllerSession.h"
#include "HubState.h"
#include "HubWebBackend.h"
#include "KonfVersion.h"
#include "LineSettings.h"
#include "MqttBridge.h"
#include "PasswordFile.h"
#include "ErrorReport.h"
#include "PortKeeper.h"
#include "WebFront.h"

#include <QByteArray>
#include <QDebug>
#include <QTimer>

#include <grp.h>
#include <stdexcept>
#include <unistd.h>

namespace {

hub::TimePoint Now()
{
    return hub::RouterClock::now();
}

std::string HostName()
{
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "localhost";
}

}  // namespace

THub::THub(hub::HubOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      port_(new TComPort(this)),
      router_(*this, *port_, false)
{
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    deadline_->setTimerType(Qt::PreciseTimer);
    connect(deadline_, &QTimer::timeout, this, [this] {
        ErrorReport::Guard([this] { router_.Tick(Now()); });
    });

    logSummary_ = new QTimer(this);
    logSummary_->setSingleShot(true);
    connect(logSummary_, &QTimer::timeout, this,
            [this] { ErrorReport::Guard([this] { WriteLogSummaries(); }); });

    SetUpControllerLine(*port_, QString::fromStdString(options_.device));
    // Only what the hub handles: no hand-over after every write, and on an adapter with modem
    // lines no polling of lines the controller does not drive.
    port_->SetEvents(TComEvents{evRxChar, evError, evBreak});
    // Nobody watches a reply arrive here: the outputs' (its states and their end) is handed on
    // whole, in two hand-overs instead of five, which halves the hub's wake-ups while polling.
    // An unprompted character after a pause still goes at once.
    port_->SetReceiveHoldOff(ControllerProtocol::ReplyLength(ControllerProtocol::kOutputStates) + 2);
    portLink_.OnRxBuf = [this](TCustomComPort*, const char* buffer, int count) {
        ErrorReport::Guard([&] { Received(buffer, count); });
    };
    port_->AttachLink(&portLink_);
    keeper_ = new TPortKeeper(port_, this);
    connect(keeper_, &TPortKeeper::Lost, this,
            [this] { ErrorReport::Guard([this] { LineLost(QStringLiteral("hung up")); }); });
    connect(keeper_, &TPortKeeper::Restored, this,
            [this] { ErrorReport::Guard([this] { LineRestored(); }); });

    // The router shares the line with the consoles, one request at a time; the notices that
    // come while a reply of the hub's runs would shift it.
    TControllerSession::Policy policy;
    policy.pollIntervalMs = options_.pollIntervalMs;
    policy.oneRequestAtATime = true;
    policy.holdNoticesInsideReply = true;
    policy.turnsPerOutputRead = kTurnsPerOutputRead;
    session_ = new TControllerSession(router_.ClientWriter(kHubClient), this, policy);
    state_ = new THubState(*session_, this);
    connect(session_, &TControllerSession::ReplyFinished, this, [this](char, bool complete) {
        if (complete && !answeredSinceLineUp_) {
            answeredSinceLineUp_ = true;
            ErrorReport::Guard([this] { UpdateAvailability(); });
        }
    });
    router_.AddClient(kHubClient);
}

THub::~THub()
{
    if (port_->Connected())
        port_->SetConnected(false);
    port_->DetachLink(&portLink_);
}

void THub::Start()
{
    OpenLinks();
    hub::ChannelNames names = hub::NamesFromSettings({});
    if (!options_.namesFile.empty() &&
        !hub::LoadChannelNames(QString::fromStdString(options_.namesFile), names))
        qWarning().noquote() << QString::fromStdString(options_.namesFile)
                             << ": not readable; default names";
    if (!options_.mqttHost.empty()) {
        TMqttClient::Settings settings;
        settings.host = options_.mqttHost;
        settings.port = options_.MqttPort();
        settings.user = options_.mqttUser;
        if (!options_.mqttPasswordFile.empty())
            settings.password = ReadPasswordFile(options_.mqttPasswordFile);
        settings.caFile = options_.mqttCaFile;
        TMqttBridge::Setup setup;
        setup.id = options_.id;
        setup.discoveryPrefix = options_.discoveryPrefix;
        setup.device = {options_.DeviceName(), KONF_VERSION, options_.WebPageUrl(HostName())};
        setup.devicePath = options_.device;
        setup.logLimited = [this](const std::string& text, const std::string& kind) { Log(text, kind); };
        bridge_ = new TMqttBridge(std::move(settings), std::move(setup), names, *state_, this);
        bridge_->Start();
    }
    if (options_.web.Enabled()) {
        webBackend_ = new THubWebBackend(*state_, *session_, names, options_.device, this);
        web_ = new TWebFront(*webBackend_, options_.web, this);
        connect(webBackend_, &THubWebBackend::Changed, web_, &TWebFront::StateChanged);
        connect(webBackend_, &THubWebBackend::RoutingRead, web_, &TWebFront::RoutingChanged);
        UpdateAvailability();
        web_->Start();
    }
    try {
        keeper_->Open();
        LineRestored();
    } catch (const EComPort& e) {
        LineLost(QString::fromStdString(e.what()));
    }
    session_->Start();
}

void THub::Stop()
{
    if (bridge_)
        bridge_->Stop();
}

void THub::OpenLinks()
{
    if (options_.consoleLinks.empty())
        return;
    const group* g = ::getgrnam(options_.consoleGroup.c_str());
    if (!g)
        throw std::runtime_error("no group " + options_.consoleGroup);
    const gid_t gid = g->gr_gid;
    for (const std::string& path : options_.consoleLinks) {
        auto* link = new TConsoleLink(
            path, gid,
            [this](const std::string& key, const std::string& text) { Log(text, key); },
            this);
        link->Open();
        qInfo().noquote() << "console link" << QString::fromStdString(path) << "->"
                          << QString::fromStdString(link->DeviceName());
        links_.push_back(link);
        connect(link, &TConsoleLink::ClientOpened, this,
                [this, link] { ErrorReport::Guard([&] { ClientOpened(link); }); });
        connect(link, &TConsoleLink::ClientClosed, this,
                [this, link] { ErrorReport::Guard([&] { ClientClosed(link); }); });
        connect(link, &TConsoleLink::Received, this, [this, link](const QByteArray& bytes) {
            ErrorReport::Guard([&] { ClientBytes(link, bytes); });
        });
    }
}

void THub::ClientOpened(TConsoleLink* link)
{
    const hub::ClientId id = nextClient_++;
    linkClients_[link] = id;
    clientLinks_[id] = link;
    router_.AddClient(id);
}

void THub::ClientClosed(TConsoleLink* link)
{
    const auto it = linkClients_.find(link);
    if (it == linkClients_.end())
        return;
    const hub::ClientId id = it->second;
    linkClients_.erase(it);
    clientLinks_.erase(id);
    router_.RemoveClient(id, Now());
}

void THub::ClientBytes(TConsoleLink* link, const QByteArray& bytes)
{
    const auto it = linkClients_.find(link);
    if (it == linkClients_.end())
        return;
    const hub::ClientId id = it->second;
    router_.FromClient(id, bytes.toStdString(), Now());
}

void THub::LineLost(const QString& why)
{
    if (!lineLossReported_)
        qWarning().noquote() << QStringLiteral("controller line %1 lost (%2); looking for it about "
                                               "once a second")
                                    .arg(QString::fromStdString(options_.device), why);
    lineLossReported_ = true;
    lineUp_ = false;
    if (bridge_)
        bridge_->SetLineUp(false);
    answeredSinceLineUp_ = false;
    router_.SetLineUp(false, Now());
    UpdateAvailability();
}

void THub::LineRestored()
{
    if (lineLossReported_)
        qInfo().noquote() << "controller line" << QString::fromStdString(options_.device) << "back";
    lineLossReported_ = false;
    lineUp_ = true;
    if (bridge_)
        bridge_->SetLineUp(true);
    answeredSinceLineUp_ = false;
    router_.SetLineUp(true, Now());
    UpdateAvailability();
}

void THub::Received(const char* bytes, int count)
{
    router_.FromController(std::string(bytes, static_cast<std::size_t>(count)), Now());
}

void THub::FlushConsoleOutput()
{
    std::map<hub::ClientId, std::string> output;
    output.swap(consoleOutput_);
    for (const auto& [client, bytes] : output) {
        const auto it = clientLinks_.find(client);   // gone meanwhile: nobody to give them to
        if (it != clientLinks_.end())
            it->second->Write(bytes);
    }
}

void THub::DrainHubInbox()
{
    if (draining_)
        return;
    draining_ = true;
    // Whatever the session throws goes to the error report; the next event must still drain.
    struct Done {
        bool& draining;
        ~Done() { draining = false; }
    } done{draining_};
    while (!hubInbox_.empty()) {
        const HubEvent event = std::move(hubInbox_.front());
        hubInbox_.pop_front();
        if (event.replyEnded) {
            session_->LineEndedReply();
            continue;
        }
        for (char ch : event.bytes)
            session_->HandleChar(ch);
    }
}

void THub::ArmDeadline()
{
    const auto next = router_.NextDeadline();
    if (!next) {
        deadline_->stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Now());
    deadline_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count())));
}

void THub::UpdateAvailability()
{
    const hub::LinePhase phase = router_.Phase();
    state_->SetAvailable(lineUp_ && answeredSinceLineUp_ && phase == hub::LinePhase::Normal);
    if (!webBackend_)
        return;
    web::Reachability reachability = web::Reachability::Online;
    if (phase == hub::LinePhase::RoutingWrite)
        reachability = web::Reachability::RoutingWrite;
    else if (phase == hub::LinePhase::Learning || phase == hub::LinePhase::AwaitingReset)
        reachability = web::Reachability::Learning;
    else if (!state_->Available())
        reachability = web::Reachability::LineLost;
    webBackend_->SetReachability(reachability);
}

// --- hub::IRouterSink ---

void THub::LineFailed(const std::string& why)
{
    // The router must not be re-entered from here; the loss is handled once it returns. A port
    // already closed was lost another way, and told.
    QTimer::singleShot(0, this, [this, why = QString::fromStdString(why)] {
        ErrorReport::Guard([&] {
            if (!port_->Connected())
                return;
            port_->SetConnected(false);
            keeper_->ReconnectTimer->start();
            LineLost(why);
        });
    });
}

void THub::DeliverToClient(hub::ClientId client, const std::string& bytes)
{
    if (client == kHubClient) {
        // A reply comes a character a call: one event for the run, not one a byte.
        if (!hubInbox_.empty() && !hubInbox_.back().replyEnded)
            hubInbox_.back().bytes += bytes;
        else
            hubInbox_.push_back({bytes, false});
        return;
    }
    // The router hands replies on a character at a time: one write a call, not one a byte.
    consoleOutput_[client] += bytes;
}

void THub::ReplyEnded(hub::ClientId client, char, bool)
{
    if (client == kHubClient)
        hubInbox_.push_back({std::string(), true});
}

void THub::Settled()
{
    FlushConsoleOutput();
    DrainHubInbox();
    ArmDeadline();
}

void THub::PhaseChanged(hub::LinePhase)
{
    // Not from inside the router's call: the bridge may answer with commands.
    QTimer::singleShot(0, this, [this] { ErrorReport::Guard([this] { UpdateAvailability(); }); });
}

void THub::Log(const std::string& text, const std::string& repeatKey)
{
    const auto now = hub::TRepeatLimiter::Clock::now();
    WriteLogSummaries();
    if (logLimiter_.Admit(repeatKey, now))
        qInfo().noquote() << QString::fromStdString(text);
    else if (!logSummary_->isActive())
        WriteLogSummaries();   // arms the timer for the summary
}

void THub::WriteLogSummaries()
{
    const auto now = hub::TRepeatLimiter::Clock::now();
    for (const std::string& summary : logLimiter_.Summaries(now))
        qInfo().noquote() << QString::fromStdString(summary);
    const auto next = logLimiter_.NextSummary();
    if (!next) {
        logSummary_->stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
    logSummary_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count())));
}
