#include "Printing.h"

void PrintLine(std::FILE* stream, const QString& line)
{
    PrintBytes(stream, line.toUtf8() + '\n');
}

void PrintBytes(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString StatesText(const std::array<bool, 16>& states)
{
    QString text;
    for (bool on : states)
        text.append(on ? QLatin1Char('1') : QLatin1Char('0'));
    return text;
}
