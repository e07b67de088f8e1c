#pragma once
#include <algorithm>
#include <cstdint>

namespace sim {

// Spaces sent bytes as a UART would: 9600 bit/s with 8N1 framing is 10 bits, 1041.67 us a byte.
// While the line is busy, bytes keep to an absolute grid, so a late timer or a moment without
// the CPU is made up over the next bytes instead of stretching the whole reply; but no byte
// follows the previous one closer than 90 % of a byte time. The first byte after the queue ran
// empty goes at once and starts a new grid.
class TxPacer {
public:
    static constexpr int64_t kByteNs = 1041667;
    static constexpr int64_t kMinGapNs = kByteNs * 9 / 10;

    explicit TxPacer(bool enabled) : enabled_(enabled) {}

    bool Enabled() const { return enabled_; }
    bool Due(int64_t nowNs) const { return !enabled_ || idle_ || nowNs >= nextNs_; }
    int64_t NextNs() const { return nextNs_; }
    void Sent(int64_t nowNs)
    {
        if (!enabled_)
            return;
        gridNs_ = idle_ ? nowNs + kByteNs : gridNs_ + kByteNs;
        nextNs_ = std::max(gridNs_, nowNs + kMinGapNs);
        idle_ = false;
    }
    // Nothing left to send: the next byte starts a new grid.
    void Idle() { idle_ = true; }

private:
    bool enabled_;
    bool idle_ = true;
    int64_t gridNs_ = 0;   // when the next byte would go on a perfect line
    int64_t nextNs_ = 0;   // when it may go
};

}  // namespace sim
