#include "KonfVersion.h"
#include "Options.h"
#include "Simulator.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    sim::Options options;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!sim::ParseOptions(args, options, error)) {
        std::fprintf(stderr, "selvora-sim: %s\n%s", error.c_str(), sim::Usage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(sim::Usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs("selvora-sim " KONF_VERSION "\n", stdout);
        return 0;
    }
    sim::Simulator simulator(options);
    return simulator.Run();
}
