#pragma once

#include "ControllerProtocol.h"

// Where things stand in config.ini (0-based line numbers). Every reader and writer of the file
// takes its lines from here.
namespace SettingsLayout {

using ControllerProtocol::kChannels;
constexpr int kPortLine = 1;
constexpr int kFirstInputNameLine = 3;
constexpr int kFirstOutputNameLine = 21;
constexpr int kLockMarkerLine = 37;

// Name of input k and of output j (both 1..16).
constexpr int InputNameLine(int input) { return kFirstInputNameLine - 1 + input; }
constexpr int OutputNameLine(int output) { return kFirstOutputNameLine - 1 + output; }

}  // namespace SettingsLayout
