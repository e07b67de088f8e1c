#include "RandomInputs.h"

#include <algorithm>

namespace sim {

RandomInputs::RandomInputs(double perMinute, uint64_t seed, int64_t now)
    : perMinute_(perMinute), rng_(seed)
{
    if (Enabled())
        Schedule(now);
}

void RandomInputs::Schedule(int64_t from)
{
    const double meanUs = 60e6 / perMinute_;
    const double gap = std::exponential_distribution<double>(1.0 / meanUs)(rng_);
    dueUs_ = from + std::max<int64_t>(1000, static_cast<int64_t>(std::min(gap, 3.6e9)));
}

std::optional<int64_t> RandomInputs::Deadline() const
{
    if (!Enabled())
        return std::nullopt;
    return dueUs_;
}

int RandomInputs::Next(int64_t now)
{
    if (!Enabled() || now < dueUs_)
        return 0;
    Schedule(now);
    return std::uniform_int_distribution<int>(1, 16)(rng_);
}

}  // namespace sim
