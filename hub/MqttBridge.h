#pragma once
#include <QObject>

#include <array>
#include <map>
#include <optional>
#include <string>

#include "ChannelNames.h"
#include "HubTopics.h"
#include "MqttClient.h"
#include "MqttCommand.h"

class QTimer;
class THubPoller;

// The controller in MQTT terms: retained states and availability under selvora/ID/, Home
// Assistant discovery, and the commands of the set topics turned into controller commands.
class TMqttBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int kModeStepTimeoutMs = 2000;
    static constexpr int kMostModeSteps = 3;

    TMqttBridge(TMqttClient::Settings settings, const std::string& id,
                const std::string& discoveryPrefix, hub::ChannelNames names, THubPoller& poller,
                QObject* parent = nullptr);

    void Start();
    // Says "offline" while it can, then disconnects.
    void Stop();

    // Whether commands can run now (line up, no routing write or learning, answered).
    void SetAvailable(bool available);

private:
    void ConnectedChanged(bool connected);
    void MessageReceived(const QString& topic, const QByteArray& payload);
    void SetOutput(int output, hub::OutputWish wish);
    void SetMode(int mode);
    void OutputChanged(int output, bool on);
    void InputChanged(int input, bool active);
    void ModeSeen(int mode);
    void ReplyAnswered(char request);
    void StepMode();
    void Publish(const std::string& topic, const std::string& payload);
    void PublishAll();

    // A wish for one output: its command went out; the next output read tells whether it held.
    struct OutputWishState {
        bool on;
        int readsBefore;   // output reads issued when the command went out
        bool retried;
    };

    hub::HubTopics topics_;
    std::string discoveryPrefix_;
    hub::ChannelNames names_;
    THubPoller& poller_;
    TMqttClient* client_;
    QTimer* modeTimeout_;
    bool available_ = false;
    std::array<std::optional<bool>, hub::kChannels> inputs_;
    std::array<std::optional<bool>, hub::kChannels> outputs_;
    std::optional<int> mode_;
    std::map<int, OutputWishState> wishes_;
    std::optional<int> modeTarget_;
    int modeSteps_ = 0;
    std::map<std::string, std::string> published_;   // retained, as last sent
};
