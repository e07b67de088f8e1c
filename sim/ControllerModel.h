#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// Operating modes in the order "Q" cycles through them.
enum class Mode : int {
    EqualInputs = 0,   // "Wejścia równorzędne": inputs switch their outputs
    RemoteFirst = 1,   // "Pilot i komputer nadrzędne": inputs still switch, remote and PC rank first
    RemoteOnly = 2,    // "Tylko pilot i komputer": inputs switch nothing
};

char ModeChar(Mode m);          // ']', '}', '['
const char* ModeName(Mode m);   // Polish name, UTF-8

// Output 1..16 switched by a single-character command ("0".."9", "=", "a", "s", "d", "f", "g"),
// or 0 when the byte is no output command.
int OutputForCommand(uint8_t byte);

// The controller's state: 16 inputs, 16 outputs, the mode and the routing table. Channels are
// numbered 1..16 as on the device's terminals; out-of-range numbers are ignored.
class ControllerModel {
public:
    static constexpr int kChannels = 16;
    static constexpr int kRoutingCells = kChannels * kChannels;

    bool Output(int j) const;
    void SetOutput(int j, bool on);
    void ToggleOutput(int j);
    void AllOutputsOff();

    bool Input(int k) const;
    // Sets input k; on a rising edge the outputs that k controls toggle unless the mode forbids
    // it. Returns a bit mask of the toggled outputs (bit j-1 for output j).
    uint16_t SetInput(int k, bool active);

    Mode GetMode() const { return mode_; }
    void SetMode(Mode m) { mode_ = m; }
    Mode NextMode();

    bool Routes(int k, int j) const;
    void SetRoute(int k, int j, bool on);

    // Replies in their wire form.
    std::string OutputReply() const;   // 16 states then '!'
    std::string InputReply() const;    // 16 states
    std::string RoutingDump() const;   // block per output, input 16 first

    // The 256 routing characters in the order the console writes them (input k, output j at
    // 16*(j-1)+(k-1)). Stores nothing unless every character is '0' or '1'.
    bool StoreRouting(std::string_view written);
    std::string RoutingInWriteOrder() const;

private:
    static bool Valid(int n) { return n >= 1 && n <= kChannels; }

    std::array<bool, kChannels> inputs_{};
    std::array<bool, kChannels> outputs_{};
    std::array<std::array<bool, kChannels>, kChannels> route_{};   // [input-1][output-1]
    Mode mode_ = Mode::EqualInputs;
};

}  // namespace sim
