#include "UnlockCode.h"

QString UnlockCode(const QDate& today, const QLocale& locale)
{
    return QLatin1String(kUnlockCodePrefix) + locale.toString(today, QLocale::ShortFormat);
}
