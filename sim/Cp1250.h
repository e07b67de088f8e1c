#pragma once
#include <string>
#include <string_view>

namespace sim {

// The controller's own text is Windows-1250, one byte a character. Covers ASCII and the Polish
// letters; anything else becomes '.' (never one of the characters the console reacts to).
std::string Utf8ToCp1250(std::string_view utf8);

}  // namespace sim
