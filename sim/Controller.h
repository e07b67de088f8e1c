#pragma once
#include "ControllerModel.h"
#include "LearningDialogue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct ControllerTiming {
    int64_t saveDelayUs = 400000;        // from the last routing character to '?'
    int64_t writeTimeoutUs = 5000000;    // a longer pause inside a routing write abandons it
    int64_t learningStepUs = 1200000;    // how long a learning result stays on the screen
};

// What the controller sends. The kind lets the line layer decide which faults apply.
enum class EmissionKind {
    StateReply,    // answer to "x", "q" or "C"
    Acknowledge,   // '?' after saving, a mode character
    Notice,        // '/' after an input switched outputs
    Dialogue,      // learning text
    Injected,      // bytes the operator asked to send
};

struct Emission {
    EmissionKind kind;
    std::string bytes;
};

// The controller seen from the serial line: bytes in, emissions and event texts out. No I/O;
// time (monotonic microseconds) is passed in, and Tick() must be called at NextDeadline().
class Controller {
public:
    explicit Controller(const ControllerTiming& timing = {});

    void Receive(uint8_t byte, int64_t now);
    void Tick(int64_t now);
    std::optional<int64_t> NextDeadline() const;

    // The controller's own side: inputs, its mode button, the remote, the reset button.
    void SetInput(int k, bool active, int64_t now);
    void PressModeButton(int64_t now);
    void RemoteToggle(int j, int64_t now);
    void PressReset(int64_t now);
    // The console closed the line. A learning run cannot be finished any more, so the
    // controller is reset as the console tells its user to do.
    void PeerClosed(int64_t now);
    void SetSilent(bool silent);
    void Inject(const std::string& bytes);

    std::vector<Emission> TakeEmissions();
    std::vector<std::string> TakeEvents();
    // True once after anything worth persisting changed (outputs, mode, routing).
    bool TakeStateChanged();

    ControllerModel& Model() { return model_; }
    const ControllerModel& Model() const { return model_; }
    const LearningDialogue& Learning() const { return learning_; }
    bool Silent() const { return silent_; }
    bool WriteInProgress() const { return reader_ == Reader::RoutingWrite; }
    bool AwaitingReset() const { return reader_ == Reader::AwaitingReset; }
    bool LearningRunning() const { return reader_ == Reader::Learning; }

private:
    enum class Reader { Commands, RoutingWrite, Learning, AwaitingReset };

    void Command(uint8_t byte, int64_t now);
    void WriteByte(uint8_t byte, int64_t now);
    void AbandonWrite(const std::string& why);
    void Emit(EmissionKind kind, std::string bytes);
    void Event(std::string text);
    void AfterLearningText(int64_t now);

    ControllerTiming timing_;
    ControllerModel model_;
    LearningDialogue learning_;
    Reader reader_ = Reader::Commands;
    std::string written_;
    int64_t lastWriteByteUs_ = 0;
    std::optional<int64_t> saveDoneUs_;
    bool silent_ = false;
    bool stateChanged_ = false;
    std::vector<Emission> emissions_;
    std::vector<std::string> events_;
};

}  // namespace sim
