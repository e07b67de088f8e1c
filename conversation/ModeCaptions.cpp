#include "ModeCaptions.h"

using ControllerProtocol::Mode;

QString ModeCaption(Mode mode)
{
    switch (mode) {
    case Mode::EqualInputs: return QStringLiteral("Wejścia równorzędne");
    case Mode::RemoteFirst: return QStringLiteral("Pilot i komputer nadrzędne");
    case Mode::RemoteOnly: return QStringLiteral("Tylko pilot i komputer");
    }
    return {};
}

std::optional<Mode> ModeOfCaption(const QString& caption)
{
    for (Mode mode : ControllerProtocol::kModes)
        if (caption.compare(ModeCaption(mode), Qt::CaseInsensitive) == 0)
            return mode;
    return std::nullopt;
}
