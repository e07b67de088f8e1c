#pragma once
#include <QDateTime>
#include <QLocale>
#include <QString>

// The main window's caption: "Selvora - konfigurator (<short date> <long time>)", the long time
// without its time-zone field.
QString TitleClockText(const QDateTime& now, const QLocale& locale);

// A time format with its time-zone field taken out, together with the brackets around it and
// the separator that joined it to the rest; everything else, 12-hour forms included, stays.
QString WithoutTimeZone(const QString& timeFormat);
