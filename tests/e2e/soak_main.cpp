// konf-soak MINUTES [SEED]: the console against a faulty simulated controller; prints the figures
// and exits non-zero when a quiet period did not match, memory grew or the console ended.
#include "SoakRun.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>

int main(int argc, char** argv)
{
    // The harness needs no window of its own.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    e2e::SoakOptions options;
    options.minutes = argc > 1 ? std::atof(argv[1]) : 5.0;
    options.seed = argc > 2 ? uint32_t(std::strtoul(argv[2], nullptr, 10)) : uint32_t(std::time(nullptr));
    options.faultSeconds = 20;
    options.verbose = true;
    if (options.minutes <= 0) {
        std::fprintf(stderr, "usage: konf-soak MINUTES [SEED]\n");
        return 2;
    }
    std::printf("soak: %.1f min, seed %u\n", options.minutes, options.seed);
    const e2e::SoakReport report = e2e::RunSoak(options);
    std::printf("%s\n", qPrintable(report.Text()));
    return report.started && report.failures.isEmpty() ? 0 : 1;
}
