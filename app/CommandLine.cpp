#include "CommandLine.h"

#include "KonfVersion.h"

#include <cstdio>
#include <cstring>

namespace {

const char kHelp[] =
    "usage: konfigurator [--help | --version]\n"
    "The console of the Selvora home-automation controller. It takes no arguments: it reads\n"
    "config.ini in the working directory (port name, input and output names, lock) and opens the\n"
    "serial port named there; without the file it asks for the names and the port and writes it.\n"
    "  --help      this text\n"
    "  --version   print the version\n"
    "Qt's own options (-platform, -display, ...) are accepted as well. See konfigurator(1).\n";

}  // namespace

std::optional<int> AnswerCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("konfigurator " KONF_VERSION "\n", stdout);
            return 0;
        }
    }
    return std::nullopt;
}
