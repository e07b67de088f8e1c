#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "RoutingCells.h"

// The backup file of a routing table: plain UTF-8 text with CR LF line ends that a person can
// read and diff. A version line, the port, the 32 names, one line per output naming the inputs
// that control it, then a 16 x 16 block of '0'/'1' (row j = output j, column k = input k) that
// alone decides the cells. The format is described in README.md.
namespace Routing {

struct TRoutingBackup {
    QString port;
    QStringList inputNames;    // inputs 1..16
    QStringList outputNames;   // outputs 1..16
    TRoutingCells cells;
};

// A file that cannot be written or read, or does not hold a valid backup. Line() is the
// 1-based line at fault, 0 when the fault is not in one line; Text() is the user's message.
class EBackupError : public std::runtime_error {
public:
    EBackupError(int line, const QString& text);
    int Line() const { return line_; }
    const QString& Text() const { return text_; }

private:
    int line_;
    QString text_;
};

// Reading stops here; a real backup is a few kilobytes.
constexpr qint64 kMaxBackupBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxBackupLineBytes = 1024 * 1024;

QByteArray ComposeBackup(const TRoutingBackup& backup);
// Throws EBackupError naming the first bad line.
TRoutingBackup ParseBackup(const QByteArray& data);

// Replaces the file atomically (temporary file, then rename). Throws EBackupError.
void SaveBackup(const QString& path, const TRoutingBackup& backup);
// Reads at most kMaxBackupBytes. Throws EBackupError.
TRoutingBackup LoadBackup(const QString& path);

// The names in a backup that differ from the given ones, one readable entry each; empty when
// they all agree.
QStringList NameDifferences(const TRoutingBackup& backup, const QStringList& inputNames,
                            const QStringList& outputNames);

}  // namespace Routing
