#pragma once
#include <QObject>

#include <functional>
#include <map>
#include <string>

#include "ChannelNames.h"
#include "Discovery.h"
#include "HubTopics.h"
#include "InstanceGuard.h"
#include "MqttClient.h"
#include "MqttCommand.h"

class QTimer;
class THubState;

// The controller in MQTT terms: retained states and availability under selvora/ID/, the hub's
// record, Home Assistant discovery (again whenever Home Assistant says it is back), and the
// commands of the set topics handed to the hub's state. It publishes and obeys only while it
// serves its id (see InstanceGuard).
class TMqttBridge : public QObject {
    Q_OBJECT
public:
    struct Setup {
        std::string id;
        std::string discoveryPrefix;
        hub::DeviceInfo device;
        std::string devicePath;   // the controller's serial device, for the hub's record
        // Where lines about what others sent go: (text, kind), so that a kind repeated
        // without end is summed up instead of written each time.
        std::function<void(const std::string&, const std::string&)> logLimited;
    };

    TMqttBridge(TMqttClient::Settings settings, Setup setup, hub::ChannelNames names,
                THubState& state, QObject* parent = nullptr);

    void Start();
    // Says "offline" and "stopped" while it can, then disconnects.
    void Stop();
    // Whether the controller's line is open, for the hub's record.
    void SetLineUp(bool up);

private:
    void ConnectedChanged(bool connected);
    void MessageReceived(const QString& topic, const QByteArray& payload, bool retained);
    void Command(const std::string& topic, const std::string& payload, bool retained);
    void Apply(const hub::InstanceGuard::Step& step);
    void HomeAssistantBack();
    void Publish(const std::string& topic, const std::string& payload);
    void PublishRecord(hub::HubRecord::State state);
    void PublishAll();

    hub::HubTopics topics_;
    Setup setup_;
    hub::ChannelNames names_;
    THubState& state_;
    std::string instance_;
    std::string started_;
    hub::InstanceGuard guard_;
    TMqttClient* client_;
    QTimer* check_;
    QTimer* birthPause_;
    bool birthPending_ = false;
    bool serving_ = false;   // as of the last step applied
    bool lineUp_ = false;
    std::map<std::string, std::string> published_;   // retained, as last sent
};
