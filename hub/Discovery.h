#pragma once
#include <string>
#include <vector>

#include "ChannelNames.h"
#include "HubTopics.h"

// Home Assistant's MQTT discovery: one retained config per output (switch), input (binary
// sensor) and for the mode (select), all under one device.
namespace hub {

struct MqttMessage {
    std::string topic;
    std::string payload;
};

// What Home Assistant shows about the device and the program that announced it.
struct DeviceInfo {
    std::string name;               // the device's name in Home Assistant
    std::string softwareVersion;
    std::string configurationUrl;   // the hub's web page, when it serves one
};

std::vector<MqttMessage> DiscoveryConfigs(const HubTopics& topics, const std::string& prefix,
                                          const ChannelNames& names, const DeviceInfo& device);

// Where Home Assistant says "online" when it (re)starts.
inline std::string DiscoveryStatusTopic(const std::string& prefix)
{
    return prefix + "/status";
}

}  // namespace hub
