#include "ModeNames.h"

#include "ModeCaptions.h"

using ControllerProtocol::Mode;

QString ModeName(std::optional<Mode> mode)
{
    if (!mode)
        return QStringLiteral("unknown");
    switch (*mode) {
    case Mode::EqualInputs:
        return QStringLiteral("equal-inputs");
    case Mode::RemoteFirst:
        return QStringLiteral("remote-first");
    case Mode::RemoteOnly:
        return QStringLiteral("remote-only");
    }
    return QStringLiteral("unknown");
}

std::optional<Mode> ModeFromName(const QString& text)
{
    const QString wanted = text.trimmed();
    for (Mode mode : ControllerProtocol::kModes) {
        if (wanted.compare(ModeName(mode), Qt::CaseInsensitive) == 0)
            return mode;
    }
    return ModeOfCaption(wanted);
}
