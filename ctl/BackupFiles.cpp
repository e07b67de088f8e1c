#include "BackupFiles.h"

#include "CtlFailure.h"
#include "Printing.h"
#include "SettingsFile.h"

#include <QFile>

namespace {

bool IsStdio(const QString& path)
{
    return path.isEmpty() || path == QLatin1String("-");
}

QString Shown(const QString& path)
{
    return IsStdio(path) ? QStringLiteral("standard input") : path;
}

[[noreturn]] void BadBackup(const QString& path, const Routing::EBackupError& e)
{
    // The file's own failures name it already; a line's do not.
    QString fault = e.Text();
    if (e.Line() > 0)
        fault = QStringLiteral("%1, line %2: %3").arg(Shown(path)).arg(e.Line()).arg(fault);
    else if (!fault.contains(path))
        fault = QStringLiteral("%1: %2").arg(Shown(path), fault);
    throw ECtlFailure(TExitCode::BadFile,
                      QStringLiteral("%1. Give a backup written by routing get or by the console's "
                                     "\"Zapisz do pliku\".")
                          .arg(fault));
}

}  // namespace

Routing::TRoutingBackup ReadBackupFile(const QString& path)
{
    try {
        if (!IsStdio(path))
            return Routing::LoadBackup(path);
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            throw Routing::EBackupError(0, QStringLiteral("cannot read standard input"));
        const QByteArray data = in.read(Routing::kMaxBackupBytes + 1);
        if (data.size() > Routing::kMaxBackupBytes)
            throw Routing::EBackupError(0, QStringLiteral("more than %1 MiB").arg(Routing::kMaxBackupBytes >> 20));
        return Routing::ParseBackup(data);
    } catch (const Routing::EBackupError& e) {
        BadBackup(path, e);
    }
}

void WriteBackupFile(const QString& path, const Routing::TRoutingBackup& backup)
{
    if (IsStdio(path)) {
        PrintBytes(stdout, Routing::ComposeBackup(backup));
        return;
    }
    try {
        Routing::SaveBackup(path, backup);
    } catch (const Routing::EBackupError& e) {
        throw ECtlFailure(TExitCode::BadFile,
                          QStringLiteral("%1. Choose a file in a folder you may write to.").arg(e.Text()));
    }
}

TChannelNames ReadNames(const QString& configPath)
{
    QStringList lines;
    if (!SettingsFile::Load(configPath, lines))
        throw ECtlFailure(TExitCode::BadFile,
                          QStringLiteral("%1 cannot be read. Give the console's config.ini with --names, "
                                         "or leave --names out for a backup without names.")
                              .arg(configPath));
    TChannelNames names;
    for (int n = 1; n <= SettingsLayout::kChannels; ++n) {
        names.inputs.append(SettingsFile::Line(lines, SettingsLayout::InputNameLine(n)));
        names.outputs.append(SettingsFile::Line(lines, SettingsLayout::OutputNameLine(n)));
    }
    return names;
}
