#pragma once
#include <QObject>

#include <map>
#include <string>

#include "ChannelNames.h"
#include "HubTopics.h"
#include "MqttClient.h"
#include "MqttCommand.h"

class THubState;

// The controller in MQTT terms: retained states and availability under selvora/ID/, Home
// Assistant discovery, and the commands of the set topics handed to the hub's state.
class TMqttBridge : public QObject {
    Q_OBJECT
public:
    TMqttBridge(TMqttClient::Settings settings, const std::string& id,
                const std::string& discoveryPrefix, hub::ChannelNames names, THubState& state,
                QObject* parent = nullptr);

    void Start();
    // Says "offline" while it can, then disconnects.
    void Stop();

private:
    void ConnectedChanged(bool connected);
    void MessageReceived(const QString& topic, const QByteArray& payload);
    void Publish(const std::string& topic, const std::string& payload);
    void PublishAll();

    hub::HubTopics topics_;
    std::string discoveryPrefix_;
    hub::ChannelNames names_;
    THubState& state_;
    TMqttClient* client_;
    std::map<std::string, std::string> published_;   // retained, as last sent
};
