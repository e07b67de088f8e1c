#pragma once
#include <QString>
#include <QStringList>

#include "RoutingBackup.h"

// The files the routing commands read and write, with "-" or no name for standard input and
// output. Failures are ECtlFailure with TExitCode::BadFile.
Routing::TRoutingBackup ReadBackupFile(const QString& path);
void WriteBackupFile(const QString& path, const Routing::TRoutingBackup& backup);

// The 16 input and 16 output names of a config.ini.
struct TChannelNames {
    QStringList inputs;
    QStringList outputs;
};
TChannelNames ReadNames(const QString& configPath);
