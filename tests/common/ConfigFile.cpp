#include "ConfigFile.h"

#include "SettingsFile.h"

#include <exception>

QStringList TConfigFile::Lines() const
{
    QStringList lines{SettingsFile::kSeparator, port, SettingsFile::kSeparator};
    for (int k = 1; k <= SettingsLayout::kChannels; ++k)
        lines << inputName.arg(k);
    lines << SettingsFile::kSeparator << SettingsFile::kSeparator;
    for (int j = 1; j <= SettingsLayout::kChannels; ++j)
        lines << outputName.arg(j);
    if (marker)
        lines << *marker;
    return lines;
}

bool TConfigFile::Write(const QString& path) const
{
    try {
        SettingsFile::Save(path, Lines());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

QString TConfigFile::UnlockedMarker()
{
    return SettingsFile::kUnlockedMarker;
}
