#pragma once
// The routing write as the controller simulator's log shows it: the cells it received and the
// pacing between them.
#include "SimLog.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace simlog {

struct IntervalStats {
    int count = 0;
    double meanMs = 0;
    double minMs = 0;
    double maxMs = 0;
    double maxDeviationMs = 0;   // largest |interval - nominal|
};

inline IntervalStats Stats(const std::vector<double>& intervalsMs, double nominalMs)
{
    IntervalStats s;
    s.count = static_cast<int>(intervalsMs.size());
    if (intervalsMs.empty())
        return s;
    s.minMs = *std::min_element(intervalsMs.begin(), intervalsMs.end());
    s.maxMs = *std::max_element(intervalsMs.begin(), intervalsMs.end());
    double sum = 0;
    for (double v : intervalsMs) {
        sum += v;
        s.maxDeviationMs = std::max(s.maxDeviationMs, std::fabs(v - nominalMs));
    }
    s.meanMs = sum / intervalsMs.size();
    return s;
}

// The last routing write in a log: "c" and the characters after it.
struct RoutingWrite {
    bool found = false;
    std::string cells;                    // what followed "c", up to 256 characters
    double afterStartMs = 0;              // "c" to the first cell
    std::vector<double> betweenCellsMs;   // from each cell to the next
};

inline RoutingWrite LastRoutingWrite(const std::vector<SimLogRecord>& log)
{
    const std::vector<SimLogRecord> rx = Bytes(log, 'R');
    RoutingWrite w;
    size_t start = rx.size();
    for (size_t i = rx.size(); i-- > 0;) {
        if (rx[i].byte == 'c') {
            start = i;
            break;
        }
    }
    if (start == rx.size())
        return w;
    w.found = true;
    for (size_t i = start + 1; i < rx.size() && w.cells.size() < 256; ++i) {
        w.cells.push_back(static_cast<char>(rx[i].byte));
        const double ms = (rx[i].us - rx[i - 1].us) / 1000.0;
        if (i == start + 1)
            w.afterStartMs = ms;
        else
            w.betweenCellsMs.push_back(ms);
    }
    return w;
}

}  // namespace simlog
