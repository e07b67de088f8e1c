#pragma once
#include "ControllerModel.h"

#include <string>
#include <string_view>

namespace sim {

// Text form of what the controller keeps across restarts (routing table, outputs, mode):
//   selvora-sim-state 1
//   mode <0|1|2>
//   outputs <16 x 0/1, output 1 first>
//   routing <256 x 0/1, in the order the console writes them>
std::string EncodeState(const ControllerModel& m);
// Applies a saved state to `m`; leaves `m` untouched and returns false if the text is damaged.
bool DecodeState(std::string_view text, ControllerModel& m, std::string& error);

}  // namespace sim
