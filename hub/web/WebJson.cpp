#include "WebJson.h"

#include "ModeCaptions.h"
#include "RoutingBackup.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace web {

namespace {

const char* ReachabilityName(Reachability r)
{
    switch (r) {
    case Reachability::Online: return "online";
    case Reachability::LineLost: return "line";
    case Reachability::Learning: return "learning";
    case Reachability::RoutingWrite: return "routing";
    }
    return "line";
}

QJsonArray Channels(const std::array<std::string, kChannels>& names,
                    const std::array<std::optional<bool>, kChannels>& states)
{
    QJsonArray out;
    for (int i = 0; i < kChannels; ++i) {
        QJsonObject channel{{"name", QString::fromStdString(names[i])}};
        channel["on"] = states[i] ? QJsonValue(*states[i]) : QJsonValue(QJsonValue::Null);
        out.append(channel);
    }
    return out;
}

std::string Compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<QJsonObject> Object(std::string_view body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(body.data(), static_cast<int>(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

}  // namespace

std::string StateMessage(const Snapshot& state)
{
    QJsonArray modes;
    for (ControllerProtocol::Mode mode : ControllerProtocol::kModes)
        modes.append(ModeCaption(mode));
    QJsonObject message{{"type", "state"},
                        {"reach", ReachabilityName(state.reachability)},
                        {"modes", modes},
                        {"inputs", Channels(state.inputNames, state.inputs)},
                        {"outputs", Channels(state.outputNames, state.outputs)}};
    message["mode"] = state.mode ? QJsonValue(*state.mode) : QJsonValue(QJsonValue::Null);
    return Compact(message);
}

std::string RoutingMessage(const std::optional<RoutingTable>& table, bool reading)
{
    QJsonObject message{{"type", "routing"}, {"reading", reading}};
    if (table) {
        QJsonArray rows;
        for (int output = 1; output <= kChannels; ++output) {
            QString row;
            for (int input = 1; input <= kChannels; ++input)
                row += table->cells.At(input, output) ? QLatin1Char('1') : QLatin1Char('0');
            rows.append(row);
        }
        message["rows"] = rows;
        message["readAt"] = static_cast<double>(table->readAtMs);
    } else {
        message["rows"] = QJsonValue(QJsonValue::Null);
    }
    return Compact(message);
}

std::string BackupFile(const RoutingTable& table, const Snapshot& state)
{
    Routing::TRoutingBackup backup;
    backup.port = QString::fromStdString(state.device);
    for (int i = 0; i < kChannels; ++i) {
        backup.inputNames.append(QString::fromStdString(state.inputNames[i]));
        backup.outputNames.append(QString::fromStdString(state.outputNames[i]));
    }
    backup.cells = table.cells;
    return Routing::ComposeBackup(backup).toStdString();
}

std::optional<bool> ParseOutputBody(std::string_view body)
{
    const auto object = Object(body);
    if (!object || !object->value("on").isBool())
        return std::nullopt;
    return object->value("on").toBool();
}

std::optional<int> ParseModeBody(std::string_view body)
{
    const auto object = Object(body);
    if (!object)
        return std::nullopt;
    const QJsonValue mode = object->value("mode");
    if (!mode.isDouble() || mode.toDouble() != mode.toInt(-1) || mode.toInt() < 0 ||
        mode.toInt() >= static_cast<int>(ControllerProtocol::kModes.size()))
        return std::nullopt;
    return mode.toInt();
}

}  // namespace web
