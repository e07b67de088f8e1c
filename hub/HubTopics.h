#pragma once
#include <optional>
#include <string>

#include "ControllerProtocol.h"

// The MQTT names of one hub: everything lives under selvora/ID/.
namespace hub {

// The mode select's options, as Home Assistant shows and sends them back.
inline std::string MqttModeOption(ControllerProtocol::Mode mode)
{
    switch (mode) {
    case ControllerProtocol::Mode::EqualInputs: return "Wejścia równorzędne";
    case ControllerProtocol::Mode::RemoteFirst: return "Pilot i komputer nadrzędne";
    case ControllerProtocol::Mode::RemoteOnly: return "Tylko pilot i komputer";
    }
    return {};
}

inline std::optional<ControllerProtocol::Mode> ModeOfMqttOption(const std::string& option)
{
    for (ControllerProtocol::Mode mode : ControllerProtocol::kModes)
        if (option == MqttModeOption(mode))
            return mode;
    return std::nullopt;
}

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
