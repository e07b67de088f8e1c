#pragma once
// A config.ini as the naming dialog writes it: separator, port, separator, the 16 input names, two
// separators, the 16 output names, then the lock marker (without one the file has 37 lines and
// the program reads it as locked).
#include <QString>
#include <QStringList>

#include <optional>

struct TConfigFile {
    QString port;
    QString inputName = QStringLiteral("Wejście %1");    // %1: the input's number
    QString outputName = QStringLiteral("Wyjście %1");
    std::optional<QString> marker = UnlockedMarker();

    QStringList Lines() const;
    // Written as the program writes it; false when it could not be.
    bool Write(const QString& path) const;

    static QString UnlockedMarker();
};
