#include "MqttBridge.h"

#include "Discovery.h"
#include "ErrorReport.h"
#include "HubState.h"
#include "LogGuard.h"

#include <QDebug>

namespace {

const char* OnOff(bool on)
{
    return on ? "ON" : "OFF";
}

}  // namespace

TMqttBridge::TMqttBridge(TMqttClient::Settings settings, const std::string& id,
                         const std::string& discoveryPrefix, hub::ChannelNames names,
                         THubState& state, QObject* parent)
    : QObject(parent),
      topics_(id),
      discoveryPrefix_(discoveryPrefix),
      names_(std::move(names)),
      state_(state)
{
    settings.willTopic = topics_.Availability();
    settings.willPayload = "offline";
    if (settings.clientId.empty())
        settings.clientId = "selvora-hub-" + id;
    client_ = new TMqttClient(std::move(settings), this);
    // Every handler's entry: a failure is reported and goes no further.
    connect(client_, &TMqttClient::ConnectedChanged, this,
            [this](bool connected) { ErrorReport::Guard([&] { ConnectedChanged(connected); }); });
    connect(client_, &TMqttClient::MessageReceived, this,
            [this](const QString& topic, const QByteArray& payload) {
                ErrorReport::Guard([&] { MessageReceived(topic, payload); });
            });
    connect(&state_, &THubState::OutputChanged, this, [this](int output, bool on) {
        ErrorReport::Guard([&] { Publish(topics_.OutputState(output), OnOff(on)); });
    });
    connect(&state_, &THubState::InputChanged, this, [this](int input, bool active) {
        ErrorReport::Guard([&] { Publish(topics_.InputState(input), OnOff(active)); });
    });
    connect(&state_, &THubState::ModeChanged, this, [this](int mode) {
        ErrorReport::Guard([&] { Publish(topics_.ModeState(), hub::kModeNames[mode]); });
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
    Publish(topics_.Availability(), "offline");
    client_->Stop();
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
        if (const auto on = state_.Output(n))
            Publish(topics_.OutputState(n), OnOff(*on));
        if (const auto active = state_.Input(n))
            Publish(topics_.InputState(n), OnOff(*active));
    }
    if (const auto mode = state_.Mode())
        Publish(topics_.ModeState(), hub::kModeNames[*mode]);
    Publish(topics_.Availability(), state_.Available() ? "online" : "offline");
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
        qInfo().noquote() << QString::fromStdString(hub::QuotedForLog(topic.toStdString())) << ": ignored," << QString::fromStdString(command.error);
        return;
    }
    if (command.kind == hub::MqttCommand::Kind::Output)
        state_.SetOutput(command.output, command.wish);
    else
        state_.SetMode(command.mode);
}
