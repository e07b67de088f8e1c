#include "LoginThrottle.h"

#include <algorithm>

namespace web {

namespace {

std::chrono::seconds Until(ThrottleClock::time_point then, ThrottleClock::time_point now)
{
    if (then <= now)
        return std::chrono::seconds(0);
    return std::chrono::ceil<std::chrono::seconds>(then - now);
}

}  // namespace

void TLoginThrottle::Forget(ThrottleClock::time_point now)
{
    while (!recent_.empty() && now - recent_.front() >= kWindow)
        recent_.pop_front();
    for (auto it = records_.begin(); it != records_.end();) {
        const bool stale = it->second.lockedUntil <= now && now - it->second.last >= kLongestLockout;
        it = stale ? records_.erase(it) : std::next(it);
    }
}

std::chrono::seconds TLoginThrottle::WaitFor(const std::string& address,
                                             ThrottleClock::time_point now)
{
    Forget(now);
    std::chrono::seconds wait(0);
    if (static_cast<int>(recent_.size()) >= kMostFailuresEverywhere)
        wait = Until(recent_.front() + kWindow, now);
    const auto it = records_.find(address);
    if (it != records_.end())
        wait = std::max(wait, Until(it->second.lockedUntil, now));
    return wait;
}

void TLoginThrottle::Failed(const std::string& address, ThrottleClock::time_point now)
{
    Forget(now);
    recent_.push_back(now);
    if (records_.size() >= kMostAddresses && !records_.count(address))
        return;   // the cap for everybody still counts this one
    Record& r = records_[address];
    r.last = now;
    if (++r.failures < kFreeTries)
        return;
    const int doublings = std::min(r.failures - kFreeTries, 16);
    const auto lockout = std::min<std::chrono::seconds>(kFirstLockout * (1 << doublings),
                                                        kLongestLockout);
    r.lockedUntil = now + lockout;
}

void TLoginThrottle::Succeeded(const std::string& address)
{
    records_.erase(address);
}

}  // namespace web
