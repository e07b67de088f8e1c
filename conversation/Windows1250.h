#pragma once
#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>

// The controller's code page and that of config.ini from Windows installations. Our own table:
// Qt for Windows has no ICU and no "windows-1250", and the ANSI code page of a PC is not
// necessarily 1250.
//
// Bytes the code page leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98) stand for the C1 control
// characters of the same number, as Windows and ICU have them, so every byte reads back unchanged.
namespace Windows1250 {

QChar ToUnicode(unsigned char byte);
QString Decode(const QByteArray& bytes);

// One byte for `ch`, or false when Windows-1250 has no such character (surrogates included).
bool FromUnicode(QChar ch, char& byte);

// Encodes all of `text`. Returns false when any character cannot be held; those are left out
// of `bytes`, so the caller decides what to do instead.
bool Encode(QStringView text, QByteArray& bytes);

}  // namespace Windows1250
