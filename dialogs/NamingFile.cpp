#include "NamingFile.h"

#include "SettingsFile.h"

#include <QRegularExpression>

namespace NamingFile {

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    QString current;
    bool open = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            lines.append(current);
            current.clear();
            open = false;
            continue;
        }
        current.append(ch);
        open = true;
    }
    if (open)
        lines.append(current);
    return lines;
}

QStringList Compose(const QString& portName, const QString& inputNames,
                    const QString& outputNames)
{
    // The port name is one line of the file; a line break inside it (pasted text) would move
    // every later line, so it is cut there.
    QString port = portName;
    const qsizetype cut = port.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (cut >= 0)
        port.truncate(cut);

    QStringList out;
    out.append(SettingsFile::kSeparator);
    out.append(port);
    out.append(SettingsFile::kSeparator);
    out.append(SplitLines(inputNames));
    out.append(SettingsFile::kSeparator);
    out.append(SettingsFile::kSeparator);
    out.append(SplitLines(outputNames));
    return out;
}

namespace {
QString Numbered(const QString& word)
{
    QStringList names;
    for (int i = 1; i <= 16; ++i)
        names.append(QString::number(i) + QLatin1Char(' ') + word);
    return names.join(QLatin1Char('\n'));
}
}  // namespace

QString DefaultInputNames()
{
    return Numbered(QStringLiteral("wejście"));
}

QString DefaultOutputNames()
{
    return Numbered(QStringLiteral("urządzenie"));
}

}  // namespace NamingFile
