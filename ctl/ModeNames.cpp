#include "ModeNames.h"

#include "MessageParser.h"

QString ModeName(TMode mode)
{
    switch (mode) {
    case TMode::EqualInputs:
        return QStringLiteral("equal-inputs");
    case TMode::RemoteFirst:
        return QStringLiteral("remote-first");
    case TMode::RemoteOnly:
        return QStringLiteral("remote-only");
    case TMode::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

TMode ModeOfCaption(const QString& caption)
{
    if (caption == TMessageParser::kModeEqualInputs)
        return TMode::EqualInputs;
    if (caption == TMessageParser::kModeRemoteFirst)
        return TMode::RemoteFirst;
    if (caption == TMessageParser::kModeRemoteOnly)
        return TMode::RemoteOnly;
    return TMode::Unknown;
}

std::optional<TMode> ModeFromName(const QString& text)
{
    const QString wanted = text.trimmed();
    for (TMode mode : {TMode::EqualInputs, TMode::RemoteFirst, TMode::RemoteOnly}) {
        if (wanted.compare(ModeName(mode), Qt::CaseInsensitive) == 0)
            return mode;
    }
    for (const QString& caption : {TMessageParser::kModeEqualInputs, TMessageParser::kModeRemoteFirst,
                                   TMessageParser::kModeRemoteOnly}) {
        if (wanted.compare(caption, Qt::CaseInsensitive) == 0)
            return ModeOfCaption(caption);
    }
    return std::nullopt;
}
