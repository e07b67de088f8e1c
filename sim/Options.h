#pragma once
#include "FaultInjector.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Options {
    std::string link = "./ttyCONTROLLER";
    std::string device;          // use this serial device instead of a new pty
    std::string logFile;
    std::string scriptFile;
    std::string stateFile;
    bool pacing = true;
    bool realtime = true;        // ask for real-time scheduling so the pacing holds under load
    bool announceMode = false;   // send the mode character when the console opens the line
    int64_t saveMs = 400;
    int64_t writeTimeoutMs = 5000;
    int64_t learningStepMs = 1200;
    int64_t replyDelayMs = 0;    // a controller that answers late: x, q and C replies start this late
    double randomInputsPerMinute = 0;
    FaultRates faults;
    uint64_t seed = 0;
    bool seedGiven = false;
    bool help = false;
    bool version = false;
};

// Parses the command line (without argv[0]). False with a message on any bad argument.
bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error);
std::string Usage();

}  // namespace sim
