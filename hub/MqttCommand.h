#pragma once
#include <string>

#include "ControllerProtocol.h"
#include "HubTopics.h"

// What a message on one of the hub's command topics asks for. Anything malformed says why.
namespace hub {

enum class OutputWish { On, Off, Toggle };

struct MqttCommand {
    enum class Kind { Invalid, Output, Mode };
    Kind kind = Kind::Invalid;
    int output = 0;                    // 1..16
    OutputWish wish = OutputWish::On;
    ControllerProtocol::Mode mode = ControllerProtocol::Mode::EqualInputs;
    std::string error;                 // for Invalid
};

MqttCommand ParseMqttCommand(const HubTopics& topics, const std::string& topic,
                             const std::string& payload);

}  // namespace hub
