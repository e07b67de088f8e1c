#include "HubOptions.h"

#include <cstdlib>

namespace hub {

namespace {

bool ParseInt(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 6)
        return false;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || n < low || n > high)
        return false;
    value = static_cast<int>(n);
    return true;
}

bool ValidId(const std::string& id)
{
    if (id.empty())
        return false;
    for (char ch : id) {
        const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                        (ch >= '0' && ch <= '9') || ch == '_' || ch == '-';
        if (!ok)
            return false;
    }
    return true;
}

// A topic prefix that works in a subscription and a publication: no wildcards, no empty level,
// nothing that a broker or Home Assistant would read otherwise.
bool ValidTopicPrefix(const std::string& prefix)
{
    if (prefix.empty() || prefix.size() > 100 || prefix.front() == '/' || prefix.back() == '/' ||
        prefix.find("//") != std::string::npos)
        return false;
    for (unsigned char ch : prefix)
        if (ch == '+' || ch == '#' || ch <= ' ' || ch == 0x7f)
            return false;
    return true;
}

bool ValidDeviceName(const std::string& name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (unsigned char ch : name)
        if (ch < ' ' || ch == 0x7f)
            return false;
    return true;
}

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; a bare IPv6 address (two colons or more) is a host.
bool ParseBrokerAddress(const std::string& text, std::string& host, int& port, std::string& error)
{
    std::string portText;
    port = 0;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close == 1) {
            error = "--mqtt: [IPv6] or [IPv6]:PORT expected in " + text;
            return false;
        }
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                error = "--mqtt: [IPv6] or [IPv6]:PORT expected in " + text;
                return false;
            }
            portText = rest.substr(1);
            if (portText.empty()) {
                error = "--mqtt: bad port in " + text;
                return false;
            }
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            if (portText.empty()) {
                error = "--mqtt: bad port in " + text;
                return false;
            }
        } else {
            host = text;
        }
    }
    if (host.empty()) {
        error = "--mqtt needs a host";
        return false;
    }
    if (!portText.empty() && !ParseInt(portText, 1, 65535, port)) {
        error = "--mqtt: bad port in " + text;
        return false;
    }
    return true;
}

}  // namespace

std::string HubOptions::DeviceName() const
{
    if (!name.empty())
        return name;
    return id == "selvora" ? "Selvora" : "Selvora " + id;
}

std::string HubOptions::WebPageUrl(const std::string& hostName) const
{
    if (!web.Enabled())
        return {};
    std::string host = web.address;
    if (host == "0.0.0.0" || host == "::")
        host = hostName;
    else if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return (web.Tls() ? "https://" : "http://") + host + ":" + std::to_string(web.port) + "/";
}

bool ParseHubOptions(const std::vector<std::string>& args, HubOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const auto equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--version") {
            options.version = true;
            continue;
        }
        const auto take = [&](std::string& into) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            into = value;
            return true;
        };
        std::string text;
        if (name == "--device") {
            if (!take(options.device))
                return false;
        } else if (name == "--names") {
            if (!take(options.namesFile))
                return false;
        } else if (name == "--console-link") {
            if (!take(text))
                return false;
            options.consoleLinks.push_back(text);
        } else if (name == "--console-group") {
            if (!take(options.consoleGroup))
                return false;
        } else if (name == "--mqtt") {
            if (!take(text))
                return false;
            if (!ParseBrokerAddress(text, options.mqttHost, options.mqttPort, error))
                return false;
        } else if (name == "--mqtt-user") {
            if (!take(options.mqttUser))
                return false;
        } else if (name == "--mqtt-password-file") {
            if (!take(options.mqttPasswordFile))
                return false;
        } else if (name == "--mqtt-cafile") {
            if (!take(options.mqttCaFile))
                return false;
        } else if (name == "--id") {
            if (!take(options.id))
                return false;
            if (!ValidId(options.id)) {
                error = "--id \"" + options.id + "\": letters, digits, '_' and '-' only (it is "
                        "a level of every topic)";
                return false;
            }
        } else if (name == "--name") {
            if (!take(options.name))
                return false;
            if (!ValidDeviceName(options.name)) {
                error = "--name: 1 to 64 bytes, no control characters";
                return false;
            }
        } else if (name == "--discovery-prefix") {
            if (!take(options.discoveryPrefix))
                return false;
            if (!ValidTopicPrefix(options.discoveryPrefix)) {
                error = "--discovery-prefix \"" + options.discoveryPrefix +
                        "\": a topic without '+', '#', blanks or empty levels (Home Assistant's "
                        "default is homeassistant)";
                return false;
            }
        } else if (name == "--http") {
            if (!take(text) || !web::ParseHttpAddress(text, options.web, error))
                return false;
        } else if (name == "--http-password-file") {
            if (!take(options.web.passwordFile))
                return false;
        } else if (name == "--http-cert") {
            if (!take(options.web.certFile))
                return false;
        } else if (name == "--http-key") {
            if (!take(options.web.keyFile))
                return false;
        } else if (name == "--poll-ms") {
            if (!take(text))
                return false;
            if (!ParseInt(text, kMinPollIntervalMs, 10000, options.pollIntervalMs)) {
                error = "--poll-ms: " + std::to_string(kMinPollIntervalMs) + " to 10000";
                return false;
            }
        } else {
            error = "unknown option " + args[i];
            return false;
        }
    }
    if (!options.help && !options.version && options.device.empty()) {
        error = "--device is required";
        return false;
    }
    return web::CheckWebOptions(options.web, error);
}

std::string HubUsage()
{
    return "usage: selvora-hub --device PATH [options]\n"
           "  --device PATH             the controller's serial device (opened exclusively)\n"
           "  --names FILE              a console's config.ini with the input and output names\n"
           "  --console-link PATH       publish a pseudo-terminal for a console (repeatable)\n"
           "  --console-group GROUP     group that may open the links (default dialout)\n"
           "  --mqtt HOST[:PORT]        publish to this MQTT broker (port 1883, 8883 with TLS);\n"
           "                            an IPv6 address with a port as [ADDR]:PORT\n"
           "  --mqtt-user NAME          MQTT user name\n"
           "  --mqtt-password-file FILE MQTT password, first line of FILE\n"
           "  --mqtt-cafile FILE        use TLS, trusting these certificate authorities\n"
           "  --id ID                   topics under selvora/ID/ (default selvora); one per hub\n"
           "                            on a broker\n"
           "  --name NAME               the device's name in Home Assistant (default Selvora,\n"
           "                            or \"Selvora ID\" with another --id)\n"
           "  --discovery-prefix P      Home Assistant discovery prefix (default homeassistant)\n"
           "  --http [ADDR:]PORT        serve the web page (address default 127.0.0.1)\n"
           "  --http-password-file FILE the page's password, first line of FILE; needed for an\n"
           "                            address other than loopback\n"
           "  --http-cert FILE          TLS for the page: certificate chain (PEM)\n"
           "  --http-key FILE           TLS for the page: private key (PEM)\n"
           "  --poll-ms N               pause between the hub's own state requests (default 120)\n"
           "  --help                    this text\n"
           "  --version                 the version\n";
}

}  // namespace hub
