#pragma once
#include <QString>

#include "CommandLine.h"

// The --help texts: the tool's when `command` is None, else the command's.
QString HelpText(TCommand command);
