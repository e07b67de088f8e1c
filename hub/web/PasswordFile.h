#pragma once
#include <string>

// A password kept in a file, never on the command line: its first line, without the line end.
// Throws std::runtime_error naming the file when it cannot be read or its first line is empty.
std::string ReadPasswordFile(const std::string& path);
