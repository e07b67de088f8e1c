#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// One line of the --log file (without the line end):
//   "<us> RX <hex> <printable>"   a byte received from the console
//   "<us> TX <hex> <printable>"   a byte written to the line
//   "<us> EV <text>"              anything else worth knowing
// <us> is CLOCK_MONOTONIC in microseconds, <hex> two lower-case digits, <printable> the
// character itself for 0x21..0x7e and '.' otherwise.
// Two lower-case hex digits, as the log writes bytes.
std::string Hex(uint8_t byte);

std::string FormatByteLine(int64_t us, std::string_view direction, uint8_t byte);
std::string FormatEventLine(int64_t us, std::string_view text);

}  // namespace sim
