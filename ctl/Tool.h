#pragma once
#include <QStringList>

// selvora-ctl with its arguments (without the program name); returns the exit code. Needs a
// QCoreApplication: the port delivers what it receives through the event loop.
int RunTool(const QStringList& args);
