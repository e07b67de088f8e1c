#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "SettingsLayout.h"

// config.ini: a plain list of text lines addressed by 0-based index (SettingsLayout says which).
// Reading is bounded; writing is atomic. A file that is valid UTF-8 is read as UTF-8, any other as Windows-1250; writing uses
// Windows-1250 when every character fits, UTF-8 otherwise.
namespace SettingsFile {

constexpr int kMaxLines = 38;
constexpr int kMaxLineLength = 4096;
inline const QString kFileName = QStringLiteral("config.ini");
inline const QString kSeparator = QStringLiteral("----------");
inline const QString kUnlockedMarker = QStringLiteral("----------");
inline const QString kLockedMarker = QStringLiteral(" ---------");
constexpr int kLockMarkerLine = SettingsLayout::kLockMarkerLine;

// A save that failed; the message names the file and the system's reason.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits file bytes into at most kMaxLines lines of at most kMaxLineLength characters each.
// CR LF, lone CR and lone LF all end a line; a line end at the very end adds no empty line.
QStringList ParseLines(const QByteArray& data);

// Joins lines with CR LF after every line, encoded as described above.
QByteArray Compose(const QStringList& lines);

// Reads the first kMaxLines lines of a file without loading more of it than needed.
// Returns false (and leaves `lines` empty) when the file cannot be opened.
bool Load(const QString& path, QStringList& lines);

// Replaces the file atomically (temporary file in the same folder, then rename); on failure the
// previous file is left whole and EFileError is thrown.
void Save(const QString& path, const QStringList& lines);

// Line `index` of a loaded list, empty when it does not exist.
inline QString Line(const QStringList& lines, int index)
{
    return index >= 0 && index < lines.size() ? lines.at(index) : QString();
}

// Lines 0..36 of `loaded` (missing ones empty) followed by `marker`: the lock and unlock rewrite.
QStringList WithLockMarker(const QStringList& loaded, const QString& marker);

}  // namespace SettingsFile
