// The settings-file reader on arbitrary bytes: it must stay within its bounds and survive any
// encoding garbage.
#include "SettingsFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = SettingsFile::ParseLines(bytes);
    if (lines.size() > SettingsFile::kMaxLines)
        std::abort();
    for (const QString& line : lines) {
        if (line.size() > SettingsFile::kMaxLineLength || line.contains(QLatin1Char('\n'))
            || line.contains(QLatin1Char('\r')))
            std::abort();
    }
    // What the program writes it must read back unchanged.
    const QStringList again = SettingsFile::ParseLines(SettingsFile::Compose(lines));
    if (again != lines)
        std::abort();
    return 0;
}
