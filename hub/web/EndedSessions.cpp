#include "EndedSessions.h"

#include <algorithm>

namespace web {

std::int64_t TEndedSessions::Issued(const Ticket& session)
{
    return session.expiry - TSessionKeys::kLifetimeSeconds;
}

void TEndedSessions::End(const Ticket& session, std::int64_t now)
{
    for (auto it = ended_.begin(); it != ended_.end();)
        it = it->second <= now ? ended_.erase(it) : std::next(it);
    if (Ended(session))
        return;
    if (ended_.size() >= kMostRemembered) {
        // Full: forget the oldest by ending everything issued up to it, which errs on the safe
        // side (a few sessions more have to log in again).
        const auto oldest = std::min_element(ended_.begin(), ended_.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        });
        issuedUpTo_ = std::max(issuedUpTo_, oldest->second - TSessionKeys::kLifetimeSeconds);
        ended_.erase(oldest);
    }
    ended_[session.nonce] = session.expiry;
}

void TEndedSessions::EndAll(std::int64_t now)
{
    // Sessions issued in this second after an earlier EndAll count as issued a second later.
    issuedUpTo_ = IssueTime(now);
    ended_.clear();
}

bool TEndedSessions::Ended(const Ticket& session) const
{
    return Issued(session) <= issuedUpTo_ || ended_.count(session.nonce) != 0;
}

std::int64_t TEndedSessions::IssueTime(std::int64_t now) const
{
    return std::max(now, issuedUpTo_ + 1);
}

}  // namespace web
