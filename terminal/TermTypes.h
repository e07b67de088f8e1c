#pragma once
// Plain value types shared by the terminal's core (decoders, buffer, model) and its widget.
#include <cstdint>

using TColor = std::uint32_t;   // Windows colour value 0x00BBGGRR

enum TTermEmulation { teVT100orANSI, teVT52, teNone };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TTermCaret { tcBlock, tcUnderline, tcNone };
enum TArrowKeys { akTerminal, akWindows };
enum TBorderStyle { bsNone, bsSingle };
