#pragma once
#include <QDateTime>
#include <QLocale>
#include <QString>

// The main window's caption: "Selvora - konfigurator (<short date> <long time>)".
QString TitleClockText(const QDateTime& now, const QLocale& locale);
