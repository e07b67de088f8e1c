#include "Discovery.h"
#include "MqttCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using hub::HubTopics;
using hub::MqttCommand;
using hub::OutputWish;
using hub::ParseMqttCommand;

TEST(MqttCommand, OutputTopicsAndPayloads)
{
    const HubTopics topics("garage");
    const auto on = ParseMqttCommand(topics, "selvora/garage/output/3/set", "ON");
    ASSERT_EQ(on.kind, MqttCommand::Kind::Output) << on.error;
    EXPECT_EQ(on.output, 3);
    EXPECT_EQ(on.wish, OutputWish::On);

    const auto off = ParseMqttCommand(topics, "selvora/garage/output/16/set", "OFF\n");
    ASSERT_EQ(off.kind, MqttCommand::Kind::Output) << off.error;
    EXPECT_EQ(off.output, 16);
    EXPECT_EQ(off.wish, OutputWish::Off);
    EXPECT_EQ(ParseMqttCommand(topics, "selvora/garage/output/1/set", " TOGGLE").wish,
              OutputWish::Toggle);

    for (const char* topic : {"selvora/garage/output/0/set", "selvora/garage/output/17/set",
                              "selvora/garage/output/03/set", "selvora/garage/output//set",
                              "selvora/garage/output/x/set", "selvora/other/output/3/set",
                              "selvora/garage/output/3/state", "selvora/garage/output/-1/set"})
        EXPECT_EQ(ParseMqttCommand(topics, topic, "ON").kind, MqttCommand::Kind::Invalid) << topic;
    // The spellings other clients send, in any case.
    for (const char* payload : {"on", "On", "1", "true", "TRUE"})
        EXPECT_EQ(ParseMqttCommand(topics, "selvora/garage/output/3/set", payload).wish,
                  OutputWish::On) << payload;
    for (const char* payload : {"off", "0", "False"})
        EXPECT_EQ(ParseMqttCommand(topics, "selvora/garage/output/3/set", payload).wish,
                  OutputWish::Off) << payload;
    EXPECT_EQ(ParseMqttCommand(topics, "selvora/garage/output/3/set", "toggle").wish,
              OutputWish::Toggle);
    for (const char* payload : {"", "ON OFF", "2", "yes", "onn", "{\"state\":\"ON\"}"}) {
        const auto bad = ParseMqttCommand(topics, "selvora/garage/output/3/set", payload);
        EXPECT_EQ(bad.kind, MqttCommand::Kind::Invalid) << payload;
        EXPECT_FALSE(bad.error.empty());
    }
}

TEST(MqttCommand, ModeByItsName)
{
    const HubTopics topics("selvora");
    using ControllerProtocol::Mode;
    const std::pair<const char*, Mode> options[] = {
        {"Wejścia równorzędne", Mode::EqualInputs},
        {"Pilot i komputer nadrzędne", Mode::RemoteFirst},
        {"Tylko pilot i komputer", Mode::RemoteOnly}};
    for (const auto& [name, mode] : options) {
        const auto command = ParseMqttCommand(topics, "selvora/selvora/mode/set", name);
        ASSERT_EQ(command.kind, MqttCommand::Kind::Mode) << command.error;
        EXPECT_EQ(command.mode, mode) << name;
    }
    EXPECT_EQ(ParseMqttCommand(topics, "selvora/selvora/mode/set", "Tylko pilot").kind,
              MqttCommand::Kind::Invalid);
    // Windows-1250 bytes of "Wejścia równorzędne" are not the name.
    EXPECT_EQ(ParseMqttCommand(topics, "selvora/selvora/mode/set", "Wej\x9c" "cia r\xf3wnorz\xea" "dne").kind,
              MqttCommand::Kind::Invalid);
}

TEST(Discovery, OneDeviceWithNamedSwitchesSensorsAndTheModeSelect)
{
    const HubTopics topics("dom");
    hub::ChannelNames names;
    for (int n = 1; n <= 16; ++n) {
        names.inputs[n - 1] = std::to_string(n) + " wejście";
        names.outputs[n - 1] = std::to_string(n) + " urządzenie";
    }
    names.outputs[2] = "Światło w kuchni";
    names.inputs[0] = "Czujnik \"ruchu\"";
    const hub::DeviceInfo device{"Dom", "1.4.0", "http://box:8080/"};
    const auto configs = hub::DiscoveryConfigs(topics, "ha", names, device);
    ASSERT_EQ(configs.size(), 33u);

    std::map<std::string, QJsonObject> byTopic;
    for (const auto& m : configs) {
        QJsonParseError error{};
        const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << m.payload;
        byTopic[m.topic] = doc.object();
    }
    ASSERT_EQ(byTopic.size(), 33u);

    const QJsonObject out3 = byTopic.at("ha/switch/dom_output_3/config");
    EXPECT_EQ(out3["name"].toString(), QStringLiteral("Światło w kuchni"));
    EXPECT_EQ(out3["unique_id"].toString(), "dom_output_3");
    EXPECT_EQ(out3["state_topic"].toString(), "selvora/dom/output/3/state");
    EXPECT_EQ(out3["command_topic"].toString(), "selvora/dom/output/3/set");
    EXPECT_EQ(out3["availability_topic"].toString(), "selvora/dom/availability");
    EXPECT_FALSE(out3.contains("payload_on"));   // the defaults, ON and OFF
    const QJsonObject block = out3["device"].toObject();
    EXPECT_EQ(block["identifiers"].toArray(), QJsonArray{"dom"});
    EXPECT_EQ(block["name"].toString(), "Dom");
    EXPECT_EQ(block["sw_version"].toString(), "1.4.0");
    EXPECT_EQ(block["configuration_url"].toString(), "http://box:8080/");
    EXPECT_FALSE(block["manufacturer"].toString().isEmpty());
    EXPECT_FALSE(block["model"].toString().isEmpty());
    EXPECT_EQ(out3["o"].toObject()["name"].toString(), "selvora-hub");
    EXPECT_EQ(out3["o"].toObject()["sw"].toString(), "1.4.0");
    // Without a web page there is no address to give.
    const auto plain = hub::DiscoveryConfigs(topics, "ha", names, {"Dom", "1.4.0", ""});
    EXPECT_EQ(plain[0].payload.find("configuration_url"), std::string::npos);

    const QJsonObject in1 = byTopic.at("ha/binary_sensor/dom_input_1/config");
    EXPECT_EQ(in1["name"].toString(), QStringLiteral("Czujnik \"ruchu\""));
    EXPECT_EQ(in1["state_topic"].toString(), "selvora/dom/input/1/state");
    EXPECT_FALSE(in1.contains("command_topic"));
    EXPECT_EQ(byTopic.at("ha/binary_sensor/dom_input_16/config")["name"].toString(),
              QStringLiteral("16 wejście"));

    const QJsonObject mode = byTopic.at("ha/select/dom_mode/config");
    EXPECT_EQ(mode["command_topic"].toString(), "selvora/dom/mode/set");
    EXPECT_EQ(mode["state_topic"].toString(), "selvora/dom/mode/state");
    const QJsonArray options = mode["options"].toArray();
    ASSERT_EQ(options.size(), 3);
    EXPECT_EQ(options[0].toString(), QStringLiteral("Wejścia równorzędne"));
    EXPECT_EQ(options[1].toString(), QStringLiteral("Pilot i komputer nadrzędne"));
    EXPECT_EQ(options[2].toString(), QStringLiteral("Tylko pilot i komputer"));
    EXPECT_EQ(mode["device"], out3["device"]);
}
