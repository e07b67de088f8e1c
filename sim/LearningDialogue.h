#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

// The controller's RC-5 learning dialogue. It asks for the remote's key of each output in turn;
// the keys the user types in the terminal stand in for the remote's infrared codes. All text it
// returns is ready for the wire: Windows-1250 with VT100 sequences, '_' clearing the screen
// between steps. Its text never contains the other characters the console reacts to
// ('/', '?', '!', ']', '}', '[' outside escape sequences).
class LearningDialogue {
public:
    static constexpr int kOutputs = 16;
    static constexpr int kNoCode = -1;

    explicit LearningDialogue(int64_t stepPauseUs = 1200000) : stepPauseUs_(stepPauseUs)
    {
        codes_.fill(kNoCode);
    }

    std::string Start(int64_t now);
    // One byte typed in the terminal. Returns the text to send in answer (may be empty).
    std::string Key(uint8_t byte, int64_t now);
    // Moves to the next step once the confirmation has been shown long enough.
    std::string Tick(int64_t now);
    std::optional<int64_t> Deadline() const;

    bool Running() const { return phase_ == Phase::Asking || phase_ == Phase::Showing; }
    bool Finished() const { return phase_ == Phase::Finished; }
    int CurrentOutput() const { return output_; }
    void Reset();

    // RC-5 command learned for output j (1..16), or kNoCode.
    int Code(int j) const { return j >= 1 && j <= kOutputs ? codes_[j - 1] : kNoCode; }
    // Output whose learned code is `code`, or 0.
    int OutputForCode(int code) const;
    static int CodeForKey(uint8_t byte) { return byte & 0x3F; }

private:
    enum class Phase { Idle, Asking, Showing, Finished };
    enum class Escape { None, Started, Sequence };

    std::string StepScreen() const;
    std::string FinalScreen() const;

    int64_t stepPauseUs_;
    Phase phase_ = Phase::Idle;
    Escape escape_ = Escape::None;
    int output_ = 0;
    int64_t nextStepUs_ = 0;
    std::array<int, kOutputs> codes_{};
};

}  // namespace sim
