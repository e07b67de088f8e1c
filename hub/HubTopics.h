#pragma once
#include <array>
#include <string>

// The MQTT names of one hub: everything lives under selvora/ID/.
namespace hub {

constexpr int kChannels = 16;

// The controller's three modes, in the order its "Q" steps through them, with the character
// that announces each.
inline const std::array<std::string, 3> kModeNames = {
    "Wejścia równorzędne", "Pilot i komputer nadrzędne", "Tylko pilot i komputer"};
constexpr std::array<char, 3> kModeCharacters = {']', '}', '['};

struct HubTopics {
    explicit HubTopics(const std::string& id) : id(id), base("selvora/" + id) {}

    std::string id;
    std::string base;

    std::string Availability() const { return base + "/availability"; }
    std::string OutputState(int n) const { return base + "/output/" + std::to_string(n) + "/state"; }
    std::string OutputSet(int n) const { return base + "/output/" + std::to_string(n) + "/set"; }
    std::string InputState(int n) const { return base + "/input/" + std::to_string(n) + "/state"; }
    std::string ModeState() const { return base + "/mode/state"; }
    std::string ModeSet() const { return base + "/mode/set"; }
    std::string OutputSetFilter() const { return base + "/output/+/set"; }
    std::string HubRecord() const { return base + "/hub"; }
};

}  // namespace hub
