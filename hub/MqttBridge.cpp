#include "MqttBridge.h"

#include "Discovery.h"
#include "ErrorReport.h"
#include "HubPoller.h"

#include <QDebug>
#include <QTimer>

namespace {

// The controller's output commands, output 1 first; each one toggles its output.
constexpr char kOutputCommands[] = "0123456789=asdfg";

const char* OnOff(bool on)
{
    return on ? "ON" : "OFF";
}

}  // namespace

TMqttBridge::TMqttBridge(TMqttClient::Settings settings, const std::string& id,
                         const std::string& discoveryPrefix, hub::ChannelNames names,
                         THubPoller& poller, QObject* parent)
    : QObject(parent),
      topics_(id),
      discoveryPrefix_(discoveryPrefix),
      names_(std::move(names)),
      poller_(poller)
{
    settings.willTopic = topics_.Availability();
    settings.willPayload = "offline";
    if (settings.clientId.empty())
        settings.clientId = "selvora-hub-" + id;
    client_ = new TMqttClient(std::move(settings), this);
    modeTimeout_ = new QTimer(this);
    modeTimeout_->setSingleShot(true);
    modeTimeout_->setInterval(kModeStepTimeoutMs);
    connect(modeTimeout_, &QTimer::timeout, this, [this] {
        qInfo() << "mode change: no mode character came; given up";
        modeTarget_.reset();
    });
    // Every handler's entry: a failure is reported and goes no further.
    connect(client_, &TMqttClient::ConnectedChanged, this,
            [this](bool connected) { ErrorReport::Guard([&] { ConnectedChanged(connected); }); });
    connect(client_, &TMqttClient::MessageReceived, this,
            [this](const QString& topic, const QByteArray& payload) {
                ErrorReport::Guard([&] { MessageReceived(topic, payload); });
            });
    connect(&poller_, &THubPoller::OutputChanged, this,
            [this](int output, bool on) { ErrorReport::Guard([&] { OutputChanged(output, on); }); });
    connect(&poller_, &THubPoller::InputChanged, this,
            [this](int input, bool on) { ErrorReport::Guard([&] { InputChanged(input, on); }); });
    connect(&poller_, &THubPoller::ModeSeen, this,
            [this](int mode) { ErrorReport::Guard([&] { ModeSeen(mode); }); });
    connect(&poller_, &THubPoller::ReplyAnswered, this,
            [this](char request) { ErrorReport::Guard([&] { ReplyAnswered(request); }); });
}

void TMqttBridge::Start()
{
    client_->Start();
}

void TMqttBridge::Stop()
{
    Publish(topics_.Availability(), "offline");
    client_->Stop();
}

void TMqttBridge::SetAvailable(bool available)
{
    if (available == available_)
        return;
    available_ = available;
    if (!available) {
        wishes_.clear();
        modeTarget_.reset();
        modeTimeout_->stop();
    }
    Publish(topics_.Availability(), available ? "online" : "offline");
}

void TMqttBridge::ConnectedChanged(bool connected)
{
    if (!connected)
        return;
    published_.clear();
    client_->Subscribe(topics_.OutputSetFilter());
    client_->Subscribe(topics_.ModeSet());
    PublishAll();
}

void TMqttBridge::PublishAll()
{
    for (const hub::MqttMessage& m : hub::DiscoveryConfigs(topics_, discoveryPrefix_, names_))
        Publish(m.topic, m.payload);
    for (int n = 1; n <= hub::kChannels; ++n) {
        if (outputs_[n - 1])
            Publish(topics_.OutputState(n), OnOff(*outputs_[n - 1]));
        if (inputs_[n - 1])
            Publish(topics_.InputState(n), OnOff(*inputs_[n - 1]));
    }
    if (mode_)
        Publish(topics_.ModeState(), hub::kModeNames[*mode_]);
    Publish(topics_.Availability(), available_ ? "online" : "offline");
}

void TMqttBridge::Publish(const std::string& topic, const std::string& payload)
{
    if (!client_->Connected())
        return;
    auto& last = published_[topic];
    if (last == payload)
        return;
    last = payload;
    client_->Publish(topic, payload, true);
}

void TMqttBridge::MessageReceived(const QString& topic, const QByteArray& payload)
{
    const hub::MqttCommand command =
        hub::ParseMqttCommand(topics_, topic.toStdString(), payload.toStdString());
    if (command.kind == hub::MqttCommand::Kind::Invalid) {
        qInfo().noquote() << topic << ": ignored," << QString::fromStdString(command.error);
        return;
    }
    if (!available_) {
        qInfo().noquote() << topic << ": dropped, the controller is offline";
        return;
    }
    if (command.kind == hub::MqttCommand::Kind::Output)
        SetOutput(command.output, command.wish);
    else
        SetMode(command.mode);
}

void TMqttBridge::SetOutput(int output, hub::OutputWish wish)
{
    const std::optional<bool> known = outputs_[output - 1];
    if (!known) {
        qInfo() << "output" << output << ": state not known yet, command dropped";
        return;
    }
    // A command still on its way counts as done: the commands toggle.
    const auto pending = wishes_.find(output);
    const bool expected = pending != wishes_.end() ? pending->second.on : *known;
    const bool on = wish == hub::OutputWish::Toggle ? !expected : wish == hub::OutputWish::On;
    if (on == expected)
        return;
    wishes_[output] = {on, poller_.OutputReadsIssued(), false};
    poller_.SendCommand(kOutputCommands[output - 1]);
    poller_.ReadOutputsNow();
}

void TMqttBridge::ReplyAnswered(char request)
{
    if (request != 'x')
        return;
    for (auto it = wishes_.begin(); it != wishes_.end();) {
        const int output = it->first;
        OutputWishState& wish = it->second;
        if (poller_.OutputReadsIssued() <= wish.readsBefore) {
            ++it;   // that read was under way before the command
            continue;
        }
        if (outputs_[output - 1] == wish.on || wish.retried) {
            if (outputs_[output - 1] != wish.on)
                qInfo() << "output" << output << ": still not" << OnOff(wish.on) << "after a retry";
            it = wishes_.erase(it);
            continue;
        }
        // The state we toggled from was a cycle old: one more toggle.
        wish.retried = true;
        wish.readsBefore = poller_.OutputReadsIssued();
        poller_.SendCommand(kOutputCommands[output - 1]);
        poller_.ReadOutputsNow();
        ++it;
    }
}

void TMqttBridge::SetMode(int mode)
{
    if (mode_ == mode && !modeTarget_)
        return;
    const bool stepping = modeTarget_.has_value();
    modeTarget_ = mode;
    if (!stepping) {
        modeSteps_ = 0;
        StepMode();
    }
}

void TMqttBridge::StepMode()
{
    ++modeSteps_;
    poller_.SendCommand('Q');
    modeTimeout_->start();
}

void TMqttBridge::ModeSeen(int mode)
{
    mode_ = mode;
    Publish(topics_.ModeState(), hub::kModeNames[mode]);
    if (!modeTarget_)
        return;
    modeTimeout_->stop();
    if (*modeTarget_ == mode) {
        modeTarget_.reset();
        return;
    }
    if (modeSteps_ >= kMostModeSteps) {
        qInfo() << "mode change: target not reached after" << modeSteps_ << "steps";
        modeTarget_.reset();
        return;
    }
    StepMode();
}

void TMqttBridge::OutputChanged(int output, bool on)
{
    outputs_[output - 1] = on;
    Publish(topics_.OutputState(output), OnOff(on));
}

void TMqttBridge::InputChanged(int input, bool active)
{
    inputs_[input - 1] = active;
    Publish(topics_.InputState(input), OnOff(active));
}
