#pragma once
#include <QString>

#include <optional>

#include "ControllerProtocol.h"

// The controller's operating modes under names a script can type. The console shows them by
// their Polish captions; both are accepted on the command line.

// "equal-inputs", "remote-first", "remote-only"; "unknown" before the controller said.
QString ModeName(std::optional<ControllerProtocol::Mode> mode);
// A name above or a caption, in any case; nullopt when it is neither.
std::optional<ControllerProtocol::Mode> ModeFromName(const QString& text);
