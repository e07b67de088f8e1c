#include "TitleClock.h"

QString WithoutTimeZone(const QString& format)
{
    auto separator = [](QChar c) { return c.isSpace() || c == QLatin1Char(','); };
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            // A doubled quote toggles twice, so it needs no case of its own.
            quoted = !quoted;
            out += c;
            continue;
        }
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            continue;
        }
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
            ++i;
        const bool opened = !out.isEmpty() && (out.back() == QLatin1Char('(') || out.back() == QLatin1Char('['));
        const bool closed = i + 1 < format.size()
            && (format[i + 1] == QLatin1Char(')') || format[i + 1] == QLatin1Char(']'));
        if (opened && closed) {
            out.chop(1);
            ++i;
        }
        // A quoted text ends with its quote, so a blank at the end of `out` is never quoted.
        while (!out.isEmpty() && separator(out.back()))
            out.chop(1);
        if (out.isEmpty()) {
            while (i + 1 < format.size() && separator(format[i + 1]))
                ++i;
        }
    }
    return out;
}

QString TitleClockText(const QDateTime& now, const QLocale& locale)
{
    const QString time = locale.toString(now.time(), WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    return QStringLiteral("Selvora - konfigurator (") + locale.toString(now.date(), QLocale::ShortFormat)
        + QLatin1Char(' ') + time + QLatin1Char(')');
}
