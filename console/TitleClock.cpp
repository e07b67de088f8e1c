#include "TitleClock.h"

QString TitleClockText(const QDateTime& now, const QLocale& locale)
{
    return QStringLiteral("Selvora - konfigurator (") + locale.toString(now.date(), QLocale::ShortFormat)
        + QLatin1Char(' ') + locale.toString(now.time(), QLocale::LongFormat) + QLatin1Char(')');
}
