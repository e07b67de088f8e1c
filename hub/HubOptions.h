#pragma once
#include <string>
#include <vector>

#include "WebOptions.h"

// The command line of selvora-hub.
namespace hub {

struct HubOptions {
    std::string device;                     // the controller's serial device (required)
    std::string namesFile;                  // a console's config.ini
    std::vector<std::string> consoleLinks;  // pseudo-terminals to publish
    std::string consoleGroup = "dialout";
    std::string mqttHost;                   // no MQTT when empty
    int mqttPort = 0;                       // 0: 1883, or 8883 with TLS
    std::string mqttUser;
    std::string mqttPasswordFile;
    std::string mqttCaFile;
    std::string id = "selvora";
    std::string name;                       // the device's name in Home Assistant
    std::string discoveryPrefix = "homeassistant";
    web::WebOptions web;                    // the web page
    int pollIntervalMs = 120;
    bool help = false;
    bool version = false;

    int MqttPort() const { return mqttPort ? mqttPort : (mqttCaFile.empty() ? 1883 : 8883); }
    // --name, or one told apart by the id ("Selvora" for the default id, as always).
    std::string DeviceName() const;
    // The web page's address for other machines ("" when there is none); `hostName` stands for
    // an address that means every interface.
    std::string WebPageUrl(const std::string& hostName) const;
};

// Fills `options` from the arguments after the program name; false with `error` set when they
// do not make sense.
bool ParseHubOptions(const std::vector<std::string>& args, HubOptions& options, std::string& error);

std::string HubUsage();

// The shortest poll interval that keeps the hub's own polling within half the line's 960 bytes
// a second (the rest is the consoles').
constexpr int kMinPollIntervalMs = 20;

}  // namespace hub
