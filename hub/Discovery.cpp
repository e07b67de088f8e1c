#include "Discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace hub {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QJsonObject DeviceBlock(const HubTopics& topics, const DeviceInfo& info)
{
    QJsonObject device;
    device[QStringLiteral("identifiers")] = QJsonArray{Q(topics.id)};
    device[QStringLiteral("name")] = Q(info.name);
    device[QStringLiteral("manufacturer")] = QStringLiteral("Selvora");
    device[QStringLiteral("model")] = QStringLiteral("Controller, 16 inputs and 16 outputs");
    device[QStringLiteral("sw_version")] = Q(info.softwareVersion);
    if (!info.configurationUrl.empty())
        device[QStringLiteral("configuration_url")] = Q(info.configurationUrl);
    return device;
}

QJsonObject Origin(const DeviceInfo& info)
{
    QJsonObject origin;
    origin[QStringLiteral("name")] = QStringLiteral("selvora-hub");
    origin[QStringLiteral("sw")] = Q(info.softwareVersion);
    return origin;
}

QJsonObject Common(const HubTopics& topics, const DeviceInfo& info, const std::string& uniqueId,
                   const std::string& name, const std::string& stateTopic)
{
    QJsonObject config;
    config[QStringLiteral("unique_id")] = Q(uniqueId);
    config[QStringLiteral("name")] = Q(name);
    config[QStringLiteral("state_topic")] = Q(stateTopic);
    config[QStringLiteral("availability_topic")] = Q(topics.Availability());
    config[QStringLiteral("device")] = DeviceBlock(topics, info);
    config[QStringLiteral("o")] = Origin(info);
    return config;
}

std::string Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

std::vector<MqttMessage> DiscoveryConfigs(const HubTopics& topics, const std::string& prefix,
                                          const ChannelNames& names, const DeviceInfo& device)
{
    std::vector<MqttMessage> messages;
    for (int n = 1; n <= ControllerProtocol::kChannels; ++n) {
        const std::string id = topics.id + "_output_" + std::to_string(n);
        QJsonObject config =
            Common(topics, device, id, names.outputs[n - 1], topics.OutputState(n));
        config[QStringLiteral("command_topic")] = Q(topics.OutputSet(n));
        messages.push_back({prefix + "/switch/" + id + "/config", Json(config)});
    }
    for (int n = 1; n <= ControllerProtocol::kChannels; ++n) {
        const std::string id = topics.id + "_input_" + std::to_string(n);
        const QJsonObject config =
            Common(topics, device, id, names.inputs[n - 1], topics.InputState(n));
        messages.push_back({prefix + "/binary_sensor/" + id + "/config", Json(config)});
    }
    const std::string id = topics.id + "_mode";
    QJsonObject config = Common(topics, device, id, "Tryb", topics.ModeState());
    config[QStringLiteral("command_topic")] = Q(topics.ModeSet());
    QJsonArray options;
    for (ControllerProtocol::Mode mode : ControllerProtocol::kModes)
        options.append(Q(MqttModeOption(mode)));
    config[QStringLiteral("options")] = options;
    messages.push_back({prefix + "/select/" + id + "/config", Json(config)});
    return messages;
}

}  // namespace hub
