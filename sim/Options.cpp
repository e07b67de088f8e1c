#include "Options.h"

#include <cstdlib>

namespace sim {
namespace {

bool Integer(const std::string& s, int64_t lo, int64_t hi, int64_t& out)
{
    if (s.empty() || s.size() > 18)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    const int64_t v = std::strtoll(s.c_str(), nullptr, 10);
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

}  // namespace

std::string Usage()
{
    return "usage: selvora-sim [options]\n"
           "  --link PATH            publish the pty as this symbolic link (default ./ttyCONTROLLER)\n"
           "  --device PATH          use an existing serial device instead of a pty\n"
           "  --log FILE             log every byte and event (see sim/README.md)\n"
           "  --script FILE          run control commands from FILE, quit at its end\n"
           "  --state FILE           keep routing table, outputs and mode in FILE\n"
           "  --no-pacing            send at once instead of at 9600 bit/s\n"
           "  --no-realtime          do not ask for real-time scheduling\n"
           "  --save-ms N            delay before '?' after a routing write (default 400)\n"
           "  --write-timeout-ms N   pause that abandons a routing write (default 5000)\n"
           "  --learning-step-ms N   how long a learning result stays shown (default 1200)\n"
           "  --reply-delay-ms N     start each x, q and C reply N ms late (default 0)\n"
           "  --announce-mode        send the mode character when the console opens the line\n"
           "  --random-inputs N      toggle N random inputs a minute\n"
           "  --drop-rate P          lose each sent byte with probability P\n"
           "  --garbage-rate P       insert a random byte before each sent byte with probability P\n"
           "  --short-replies P      cut each state reply short with probability P\n"
           "  --seed N               seed for the random choices\n"
           "  --help                 this text\n"
           "  --version              print the version\n";
}

bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error)
{
    out = Options{};
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto bad = [&]() {
            error = "bad value for " + name + ": " + value;
            return false;
        };
        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        bool noPacing = false;
        if (name == "--help" || name == "-h") {
            if (!flag(out.help))
                return false;
        } else if (name == "--version") {
            if (!flag(out.version))
                return false;
        } else if (name == "--no-pacing") {
            if (!flag(noPacing))
                return false;
            out.pacing = false;
        } else if (name == "--no-realtime") {
            bool given = false;
            if (!flag(given))
                return false;
            out.realtime = false;
        } else if (name == "--announce-mode") {
            if (!flag(out.announceMode))
                return false;
        } else if (name == "--link" || name == "--device" || name == "--log" || name == "--script"
            || name == "--state") {
            if (!takeValue())
                return false;
            if (value.empty())
                return bad();
            std::string& target = name == "--link" ? out.link
                : name == "--device"               ? out.device
                : name == "--log"                  ? out.logFile
                : name == "--script"               ? out.scriptFile
                                                   : out.stateFile;
            target = value;
        } else if (name == "--save-ms" || name == "--write-timeout-ms" || name == "--learning-step-ms"
                   || name == "--reply-delay-ms") {
            if (!takeValue())
                return false;
            int64_t& target = name == "--save-ms" ? out.saveMs
                : name == "--write-timeout-ms"    ? out.writeTimeoutMs
                : name == "--reply-delay-ms"      ? out.replyDelayMs
                                                  : out.learningStepMs;
            if (!Integer(value, 0, 3600000, target))
                return bad();
        } else if (name == "--random-inputs") {
            if (!takeValue())
                return false;
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(v >= 0 && v <= 60000))
                return bad();
            out.randomInputsPerMinute = v;
        } else if (name == "--drop-rate" || name == "--garbage-rate" || name == "--short-replies") {
            if (!takeValue())
                return false;
            double& target = name == "--drop-rate" ? out.faults.drop
                : name == "--garbage-rate"         ? out.faults.garbage
                                                   : out.faults.shortReplies;
            if (!ParseRate(value, target))
                return bad();
        } else if (name == "--seed") {
            if (!takeValue())
                return false;
            int64_t v = 0;
            if (!Integer(value, 0, INT64_MAX, v))
                return bad();
            out.seed = static_cast<uint64_t>(v);
            out.seedGiven = true;
        } else {
            error = "unknown option: " + args[i];
            return false;
        }
    }
    return true;
}

}  // namespace sim
