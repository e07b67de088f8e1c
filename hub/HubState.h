#pragma once
#include <QObject>

#include <array>
#include <map>
#include <optional>

#include "ControllerProtocol.h"
#include "MqttCommand.h"

class QTimer;
class TControllerSession;

// The controller as the hub knows it, shared by MQTT and the web page: the last states read,
// whether commands can run, and the one path that changes outputs and the mode. The output
// commands toggle, so one goes out only when the known state differs, then an output read at
// once; if that read disagrees (the state was a cycle old), one more toggle.
class THubState : public QObject {
    Q_OBJECT
public:
    static constexpr int kModeStepTimeoutMs = 2000;
    static constexpr int kMostModeSteps = 3;

    explicit THubState(TControllerSession& session, QObject* parent = nullptr);

    // Whether commands can run now (line up, no routing write or learning, answered).
    void SetAvailable(bool available);
    bool Available() const { return available_; }

    std::optional<bool> Output(int output) const { return outputs_[output - 1]; }   // 1..16
    std::optional<bool> Input(int input) const { return inputs_[input - 1]; }
    std::optional<ControllerProtocol::Mode> Mode() const { return mode_; }

    // False, with a log line, when it cannot run now (offline, state not known yet).
    bool SetOutput(int output, hub::OutputWish wish);
    // Steps with "Q", one at a time, each waiting for its mode character.
    bool SetMode(ControllerProtocol::Mode mode);

signals:
    void AvailabilityChanged(bool available);
    void OutputChanged(int output, bool on);
    void InputChanged(int input, bool active);
    void ModeChanged(ControllerProtocol::Mode mode);

private:
    void OutputRead(int output, bool on);
    void InputRead(int input, bool active);
    void ModeSeen(ControllerProtocol::Mode mode);
    void ReplyAnswered(char request);
    void ToggleOutput(int output);
    void StepMode();

    // A wish for one output: its command went out; the next output read tells whether it held.
    struct OutputWishState {
        bool on;
        int readsBefore;   // output reads issued when the command went out
        bool retried;
    };

    TControllerSession& session_;
    QTimer* modeTimeout_;
    bool available_ = false;
    std::array<std::optional<bool>, ControllerProtocol::kChannels> inputs_;
    std::array<std::optional<bool>, ControllerProtocol::kChannels> outputs_;
    std::optional<ControllerProtocol::Mode> mode_;
    std::map<int, OutputWishState> wishes_;
    std::optional<ControllerProtocol::Mode> modeTarget_;
    int modeSteps_ = 0;
};
