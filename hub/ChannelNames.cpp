#include "ChannelNames.h"

#include "SettingsFile.h"
#include "SettingsLayout.h"

namespace hub {

ChannelNames NamesFromSettings(const QStringList& lines)
{
    ChannelNames names;
    for (int n = 1; n <= ControllerProtocol::kChannels; ++n) {
        const QString input = SettingsFile::Line(lines, SettingsLayout::InputNameLine(n)).trimmed();
        const QString output = SettingsFile::Line(lines, SettingsLayout::OutputNameLine(n)).trimmed();
        names.inputs[n - 1] = input.isEmpty() ? QStringLiteral("%1 wejście").arg(n).toStdString()
                                              : input.toStdString();
        names.outputs[n - 1] = output.isEmpty()
                                   ? QStringLiteral("%1 urządzenie").arg(n).toStdString()
                                   : output.toStdString();
    }
    return names;
}

bool LoadChannelNames(const QString& path, ChannelNames& names)
{
    QStringList lines;
    const bool loaded = SettingsFile::Load(path, lines);
    names = NamesFromSettings(lines);
    return loaded;
}

}  // namespace hub
