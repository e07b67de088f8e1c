#pragma once
#include <cstdint>
#include <optional>
#include <random>

namespace sim {

// Toggles a random input now and then (exponentially distributed gaps) for demos and soak tests.
class RandomInputs {
public:
    RandomInputs(double perMinute, uint64_t seed, int64_t now);

    bool Enabled() const { return perMinute_ > 0; }
    std::optional<int64_t> Deadline() const;
    // The input to toggle when its time has come (1..16), else 0.
    int Next(int64_t now);

private:
    void Schedule(int64_t from);

    double perMinute_;
    std::mt19937_64 rng_;
    int64_t dueUs_ = 0;
};

}  // namespace sim
