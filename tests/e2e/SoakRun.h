#pragma once
// The console against a misbehaving controller for a while: random input changes, lost bytes,
// garbage bytes and cut replies, then quiet periods in which the console's displays must come
// back to the controller's state. Memory is watched all along.
#include <QString>
#include <QStringList>

#include <cstdint>

namespace e2e {

struct SoakOptions {
    double minutes = 1.0;        // after the intro
    int faultSeconds = 15;       // each noisy period
    uint32_t seed = 1;
    bool verbose = false;
};

struct SoakReport {
    bool started = false;
    QStringList failures;        // empty when everything held
    int quietChecks = 0;         // quiet periods checked
    int quietMatched = 0;        // ... in which the displays matched the controller
    int stalledCycles = 0;       // noisy periods that ended with the polling stopped
    int messageBoxes = 0;        // boxes the user had to close (garbage '?')
    long rssFirstKb = 0;         // at the first quiet check
    long rssLastKb = 0;          // at the last one
    long rssMaxKb = 0;
    uint64_t bytesToConsole = 0;
    uint64_t bytesToController = 0;
    double seconds = 0;

    QString Text() const;
};

SoakReport RunSoak(const SoakOptions& options);

}  // namespace e2e
