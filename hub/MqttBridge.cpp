#include "MqttBridge.h"

#include "ErrorReport.h"
#include "HubRecord.h"
#include "HubState.h"
#include "LogGuard.h"

#include <QDateTime>
#include <QDebug>
#include <QRandomGenerator>
#include <QTimer>

namespace {

constexpr int kBirthPauseMs = 5000;

const char* OnOff(bool on)
{
    return on ? "ON" : "OFF";
}

std::string NewInstance()
{
    return QString::number(QRandomGenerator::system()->generate64(), 16)
        .rightJustified(16, QLatin1Char('0'))
        .toStdString();
}

std::string Now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

TMqttBridge::TMqttBridge(TMqttClient::Settings settings, Setup setup, hub::ChannelNames names,
                         THubState& state, QObject* parent)
    : QObject(parent),
      topics_(setup.id),
      setup_(std::move(setup)),
      names_(std::move(names)),
      state_(state),
      instance_(NewInstance()),
      started_(Now()),
      guard_(setup_.id, instance_, started_)
{
    settings.willTopic = topics_.Availability();
    settings.willPayload = "offline";
    // One per process: a broker keeps two hubs with the same --id connected instead of letting
    // them push each other off, and the guard sorts out which one serves.
    if (settings.clientId.empty())
        settings.clientId = "selvora-hub-" + setup_.id + "-" + instance_.substr(0, 8);
    client_ = new TMqttClient(std::move(settings), this);
    check_ = new QTimer(this);
    check_->setSingleShot(true);
    connect(check_, &QTimer::timeout, this,
            [this] { ErrorReport::Guard([this] { Apply(guard_.CheckTimedOut()); }); });
    birthPause_ = new QTimer(this);
    birthPause_->setSingleShot(true);
    connect(birthPause_, &QTimer::timeout, this, [this] {
        ErrorReport::Guard([this] {
            if (birthPending_ && guard_.Serving())
                HomeAssistantBack();
        });
    });
    // Every handler's entry: a failure is reported and goes no further.
    connect(client_, &TMqttClient::ConnectedChanged, this,
            [this](bool connected) { ErrorReport::Guard([&] { ConnectedChanged(connected); }); });
    connect(client_, &TMqttClient::MessageReceived, this,
            [this](const QString& topic, const QByteArray& payload, bool retained) {
                ErrorReport::Guard([&] { MessageReceived(topic, payload, retained); });
            });
    connect(&state_, &THubState::OutputChanged, this, [this](int output, bool on) {
        ErrorReport::Guard([&] { Publish(topics_.OutputState(output), OnOff(on)); });
    });
    connect(&state_, &THubState::InputChanged, this, [this](int input, bool active) {
        ErrorReport::Guard([&] { Publish(topics_.InputState(input), OnOff(active)); });
    });
    connect(&state_, &THubState::ModeChanged, this, [this](ControllerProtocol::Mode mode) {
        ErrorReport::Guard([&] { Publish(topics_.ModeState(), hub::MqttModeOption(mode)); });
    });
    connect(&state_, &THubState::AvailabilityChanged, this, [this](bool available) {
        ErrorReport::Guard([&] { Publish(topics_.Availability(), available ? "online" : "offline"); });
    });
}

void TMqttBridge::Start()
{
    client_->Start();
}

void TMqttBridge::Stop()
{
    check_->stop();
    if (guard_.Serving()) {
        Publish(topics_.Availability(), "offline");
        PublishRecord(hub::HubRecord::State::Stopped);
    }
    client_->Stop();
}

void TMqttBridge::SetLineUp(bool up)
{
    if (up == lineUp_)
        return;
    lineUp_ = up;
    if (guard_.Serving())
        PublishRecord(guard_.RecordState());
}

void TMqttBridge::ConnectedChanged(bool connected)
{
    check_->stop();
    serving_ = false;
    if (!connected)
        return;
    published_.clear();
    // The record first: whatever the broker keeps there arrives before this hub's own.
    client_->Subscribe(topics_.HubRecord());
    client_->Subscribe(topics_.Availability());
    client_->Subscribe(hub::DiscoveryStatusTopic(setup_.discoveryPrefix));
    client_->Subscribe(topics_.OutputSetFilter());
    client_->Subscribe(topics_.ModeSet());
    Apply(guard_.Connected());
}

void TMqttBridge::Apply(const hub::InstanceGuard::Step& step)
{
    if (!step.log.empty())
        qWarning().noquote() << QString::fromStdString(step.log);
    if (step.startCheck)
        check_->start(hub::InstanceGuard::kCheckMs);
    const bool serving = guard_.Serving();
    if (serving && (!serving_ || step.publishAll)) {
        published_.clear();
        PublishAll();
    } else if (step.publishRecord) {
        PublishRecord(guard_.RecordState());
    }
    serving_ = serving;
}

void TMqttBridge::HomeAssistantBack()
{
    // Once now, and once more at the end of a short pause if it is said again meanwhile: a
    // client that repeats it cannot keep the hub republishing.
    if (birthPause_->isActive()) {
        birthPending_ = true;
        return;
    }
    birthPending_ = false;
    published_.clear();
    PublishAll();
    birthPause_->start(kBirthPauseMs);
}

void TMqttBridge::PublishAll()
{
    PublishRecord(hub::HubRecord::State::Serving);
    const auto configs =
        hub::DiscoveryConfigs(topics_, setup_.discoveryPrefix, names_, setup_.device);
    for (const hub::MqttMessage& m : configs)
        Publish(m.topic, m.payload);
    for (int n = 1; n <= ControllerProtocol::kChannels; ++n) {
        if (const auto on = state_.Output(n))
            Publish(topics_.OutputState(n), OnOff(*on));
        if (const auto active = state_.Input(n))
            Publish(topics_.InputState(n), OnOff(*active));
    }
    if (const auto mode = state_.Mode())
        Publish(topics_.ModeState(), hub::MqttModeOption(*mode));
    Publish(topics_.Availability(), state_.Available() ? "online" : "offline");
}

void TMqttBridge::PublishRecord(hub::HubRecord::State state)
{
    hub::HubRecord record;
    record.instance = instance_;
    record.started = started_;
    record.version = setup_.device.softwareVersion;
    record.device = setup_.devicePath;
    record.lineUp = lineUp_;
    record.state = state;
    // Always sent: another hub's record may have taken the topic meanwhile.
    client_->Publish(topics_.HubRecord(), hub::HubRecordJson(record), true);
}

void TMqttBridge::Publish(const std::string& topic, const std::string& payload)
{
    if (!client_->Connected() || !guard_.Serving())
        return;
    auto& last = published_[topic];
    if (last == payload)
        return;
    last = payload;
    client_->Publish(topic, payload, true);
}

void TMqttBridge::MessageReceived(const QString& topic, const QByteArray& payload, bool retained)
{
    const std::string name = topic.toStdString();
    const std::string text = payload.toStdString();
    if (name == topics_.HubRecord()) {
        Apply(guard_.RecordSeen(text, retained));
        return;
    }
    if (name == topics_.Availability()) {
        Apply(guard_.AvailabilitySeen(text, retained));
        // Someone else's "offline" (another hub's last will, say) is put right.
        const auto last = published_.find(name);
        if (guard_.Serving() && !retained && last != published_.end() && last->second != text)
            client_->Publish(name, last->second, true);
        return;
    }
    if (name == hub::DiscoveryStatusTopic(setup_.discoveryPrefix)) {
        // Home Assistant is back, maybe with a broker that lost what it kept: everything again.
        if (guard_.Serving() && !retained && text == "online")
            HomeAssistantBack();
        return;
    }
    Command(name, text, retained);
}

void TMqttBridge::Command(const std::string& topic, const std::string& payload, bool retained)
{
    if (payload.empty())
        return;   // a retained command being cleared
    if (retained) {
        // A command kept by the broker would run again at every reconnect. It comes with the
        // subscription, before this hub knows whether it serves.
        // The topic goes into the command as it stands only where nothing in it was escaped.
        const std::string quoted = hub::QuotedForLog(topic);
        const bool plain = quoted == '"' + topic + '"' && topic.find('\'') == std::string::npos;
        setup_.logLimited(quoted + ": retained command ignored (commands must not be retained)" +
                              (plain ? "; clear it with: mosquitto_pub -r -n -t '" + topic + "'" : std::string()),
                          "mqtt retained command");
        return;
    }
    if (!guard_.Serving())
        return;   // said once, when this hub stood by
    const hub::MqttCommand command = hub::ParseMqttCommand(topics_, topic, payload);
    if (command.kind == hub::MqttCommand::Kind::Invalid) {
        setup_.logLimited(hub::QuotedForLog(topic) + ": ignored, " + command.error, "mqtt invalid command");
        return;
    }
    if (command.kind == hub::MqttCommand::Kind::Output)
        state_.SetOutput(command.output, command.wish);
    else
        state_.SetMode(command.mode);
}
