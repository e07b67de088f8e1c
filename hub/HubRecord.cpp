#include "HubRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <array>

namespace hub {

namespace {

constexpr int kLongestField = 80;
constexpr int kLongestPayload = 4096;

const std::array<const char*, 3> kStateNames = {"starting", "serving", "stopped"};

std::string Cleaned(const QString& text)
{
    QString out = text.left(kLongestField);
    for (QChar& ch : out)
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char('?');
    return out.toStdString();
}

}  // namespace

std::string HubRecordJson(const HubRecord& record)
{
    QJsonObject json;
    json[QStringLiteral("instance")] = QString::fromStdString(record.instance);
    json[QStringLiteral("state")] = QString::fromLatin1(kStateNames[static_cast<int>(record.state)]);
    json[QStringLiteral("started")] = QString::fromStdString(record.started);
    json[QStringLiteral("version")] = QString::fromStdString(record.version);
    json[QStringLiteral("device")] = QString::fromStdString(record.device);
    json[QStringLiteral("line_up")] = record.lineUp;
    return QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<HubRecord> ParseHubRecord(const std::string& payload)
{
    if (payload.empty() || payload.size() > kLongestPayload)
        return std::nullopt;
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    const QString instance = json.value(QStringLiteral("instance")).toString();
    if (instance.isEmpty() || instance.size() > kLongestField)
        return std::nullopt;
    HubRecord record;
    const QString state = json.value(QStringLiteral("state")).toString();
    bool known = false;
    for (std::size_t i = 0; i < kStateNames.size(); ++i) {
        if (state == QLatin1String(kStateNames[i])) {
            record.state = static_cast<HubRecord::State>(i);
            known = true;
        }
    }
    if (!known)
        return std::nullopt;
    record.instance = Cleaned(instance);
    record.started = Cleaned(json.value(QStringLiteral("started")).toString());
    record.version = Cleaned(json.value(QStringLiteral("version")).toString());
    record.device = Cleaned(json.value(QStringLiteral("device")).toString());
    record.lineUp = json.value(QStringLiteral("line_up")).toBool();
    return record;
}

}  // namespace hub
