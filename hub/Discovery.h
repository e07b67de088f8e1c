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

std::vector<MqttMessage> DiscoveryConfigs(const HubTopics& topics, const std::string& prefix,
                                          const ChannelNames& names);

}  // namespace hub
