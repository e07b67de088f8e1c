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

// Addresses are never empty and never start with a space; device keys do.
std::string TLoginThrottle::Key(const std::string& address, const std::string& device)
{
    return device.empty() ? address : " device " + device;
}

std::chrono::seconds TLoginThrottle::WaitFor(const std::string& address,
                                             ThrottleClock::time_point now, const std::string& device)
{
    Forget(now);
    std::chrono::seconds wait(0);
    if (device.empty() && static_cast<int>(recent_.size()) >= kMostFailuresEverywhere)
        wait = Until(recent_.front() + kWindow, now);
    const auto it = records_.find(Key(address, device));
    if (it != records_.end())
        wait = std::max(wait, Until(it->second.lockedUntil, now));
    return wait;
}

void TLoginThrottle::Failed(const std::string& address, ThrottleClock::time_point now,
                            const std::string& device)
{
    Forget(now);
    recent_.push_back(now);
    const std::string key = Key(address, device);
    // The cap for everybody still counts a stranger beyond the table; device marks come only
    // from logins, so they always get a record.
    if (device.empty() && records_.size() >= kMostAddresses && !records_.count(key))
        return;
    Record& r = records_[key];
    r.last = now;
    if (++r.failures < kFreeTries)
        return;
    const int doublings = std::min(r.failures - kFreeTries, 16);
    const auto lockout = std::min<std::chrono::seconds>(kFirstLockout * (1 << doublings),
                                                        kLongestLockout);
    r.lockedUntil = now + lockout;
}

void TLoginThrottle::Succeeded(const std::string& address, const std::string& device)
{
    records_.erase(Key(address, device));
}

}  // namespace web
