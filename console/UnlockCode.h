#pragma once
#include <QDate>
#include <QLocale>
#include <QString>

// The code that opens the lock screen: a fixed prefix followed by the given day in the
// locale's short date format. Callers build it at each attempt, so it follows midnight and
// any change of the system's date format.
QString UnlockCode(const QDate& today, const QLocale& locale);

// Seven ASCII characters ending with '-'; fixed at build time.
inline constexpr char kUnlockCodePrefix[] = "SELVOR-";
static_assert(sizeof kUnlockCodePrefix == 8 && kUnlockCodePrefix[6] == '-',
              "the unlock prefix is seven characters ending with '-'");
