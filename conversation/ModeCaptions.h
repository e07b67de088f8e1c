#pragma once
#include <QString>

#include <optional>

#include "ControllerProtocol.h"

// The controller's modes as the console shows them; the web page and selvora-ctl use the same
// words.
QString ModeCaption(ControllerProtocol::Mode mode);
// The caption exactly, or in another case; nullopt for anything else.
std::optional<ControllerProtocol::Mode> ModeOfCaption(const QString& caption);
