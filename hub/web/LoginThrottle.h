#pragma once
#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <string>

// The limit on failed logins: a few free tries per client address, then a lock-out that doubles
// with every further failure, and a cap for all addresses together against a guesser with many.
// A browser that proves an earlier login (its device mark) is counted on its own instead of by
// its address, and the cap for everybody does not hold it: a crowd of guessers cannot lock the
// owner out. Time is passed in.
namespace web {

using ThrottleClock = std::chrono::steady_clock;

class TLoginThrottle {
public:
    static constexpr int kFreeTries = 5;
    static constexpr std::chrono::seconds kFirstLockout{30};
    static constexpr std::chrono::seconds kLongestLockout{3600};
    static constexpr int kMostFailuresEverywhere = 30;   // within kWindow
    static constexpr std::chrono::seconds kWindow{600};
    static constexpr std::size_t kMostAddresses = 1024;

    // Zero when the client may try now, else how long it must wait. `device`: the nonce of a
    // valid device mark, empty for a stranger.
    std::chrono::seconds WaitFor(const std::string& address, ThrottleClock::time_point now,
                                 const std::string& device = {});
    void Failed(const std::string& address, ThrottleClock::time_point now,
                const std::string& device = {});
    void Succeeded(const std::string& address, const std::string& device = {});

private:
    struct Record {
        int failures = 0;
        ThrottleClock::time_point lockedUntil;
        ThrottleClock::time_point last;
    };
    void Forget(ThrottleClock::time_point now);
    static std::string Key(const std::string& address, const std::string& device);

    std::map<std::string, Record> records_;
    std::deque<ThrottleClock::time_point> recent_;   // every failure within kWindow
};

}  // namespace web
