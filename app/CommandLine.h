#pragma once
#include <optional>

// The console works from config.ini in its working directory and takes no arguments of its own.
// --help and --version answer on standard output before any window system is touched, so they
// work without a display. Everything else (Qt's -platform, -display, ...) goes on to Qt as before.
// Returns the exit code when the command line asked only for text, nothing when the console runs.
std::optional<int> AnswerCommandLine(int argc, const char* const* argv);
