#include "MqttCommand.h"

#include "LogGuard.h"

namespace hub {

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

MqttCommand Invalid(const std::string& why)
{
    MqttCommand command;
    command.error = why;
    return command;
}

// "1".."16", nothing else (no sign, no leading zero, no blanks).
int ChannelNumber(const std::string& text)
{
    if (text.empty() || text.size() > 2 || text[0] == '0')
        return 0;
    int n = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return 0;
        n = n * 10 + (ch - '0');
    }
    return n <= ControllerProtocol::kChannels ? n : 0;
}

// ON, OFF and TOGGLE as documented; also the spellings other clients send, in any case.
bool ParseOutputWish(const std::string& value, OutputWish& wish)
{
    std::string lower = value;
    for (char& ch : lower)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    if (lower == "on" || lower == "1" || lower == "true")
        wish = OutputWish::On;
    else if (lower == "off" || lower == "0" || lower == "false")
        wish = OutputWish::Off;
    else if (lower == "toggle")
        wish = OutputWish::Toggle;
    else
        return false;
    return true;
}

}  // namespace

MqttCommand ParseMqttCommand(const HubTopics& topics, const std::string& topic,
                             const std::string& payload)
{
    const std::string value = Trimmed(payload);
    if (topic == topics.ModeSet()) {
        const auto mode = ModeOfMqttOption(value);
        if (!mode)
            return Invalid("unknown mode " + QuotedForLog(value));
        MqttCommand command;
        command.kind = MqttCommand::Kind::Mode;
        command.mode = *mode;
        return command;
    }
    const std::string prefix = topics.base + "/output/";
    const std::string suffix = "/set";
    if (topic.size() <= prefix.size() + suffix.size() || topic.compare(0, prefix.size(), prefix) != 0 ||
        topic.compare(topic.size() - suffix.size(), suffix.size(), suffix) != 0)
        return Invalid("not a command topic");
    const int output =
        ChannelNumber(topic.substr(prefix.size(), topic.size() - prefix.size() - suffix.size()));
    if (output == 0)
        return Invalid("no output " + QuotedForLog(topic.substr(prefix.size())));
    MqttCommand command;
    command.kind = MqttCommand::Kind::Output;
    command.output = output;
    if (!ParseOutputWish(value, command.wish))
        return Invalid("payload " + QuotedForLog(value) + " is not ON, OFF or TOGGLE");
    return command;
}

}  // namespace hub
