#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "SessionKeys.h"

// Sessions ended before their cookie expires: one by logging out, or all at once. Signed
// cookies cannot be taken back, so the server remembers which ones it no longer honours, each
// only until it would have expired anyway. No I/O, no clock.
namespace web {

class TEndedSessions {
public:
    static constexpr std::size_t kMostRemembered = 4096;

    void End(const Ticket& session, std::int64_t now);
    // Every session issued up to now.
    void EndAll(std::int64_t now);
    bool Ended(const Ticket& session) const;
    // When a session issued now counts as issued: after the last EndAll, so that it survives it.
    std::int64_t IssueTime(std::int64_t now) const;

private:
    static std::int64_t Issued(const Ticket& session);

    std::map<std::string, std::int64_t> ended_;   // nonce -> expiry
    std::int64_t issuedUpTo_ = INT64_MIN;         // sessions issued at or before this are ended
};

}  // namespace web
