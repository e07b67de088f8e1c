#pragma once
#include <cstdint>

// The console's receive state: the parser owns it; the routing windows and RC-5 learning set or
// clear some of it. Everything runs on the GUI thread, so no locking.
extern bool ConfigDumpActive;
extern std::uint8_t ConfigDumpPosition;   // wraps from 255 to 0
extern bool InputReadActive;
extern std::int32_t InputReadPosition;
extern bool OutputReadActive;
extern std::int32_t OutputReadPosition;

// Puts all six back to their program-start values (tests use it between cases).
void ResetReceiveState();
