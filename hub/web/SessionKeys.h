#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Session cookies and their CSRF tokens, signed rather than stored: a page keeps its session
// across a restart of the hub, and a changed password ends every session. A browser that once
// logged in also keeps a device mark, which opens nothing by itself but tells the owner's
// browser from a crowd of guessers. No I/O, no clock.
namespace web {

// What a valid signed cookie says: "expiry.nonce.mac".
struct Ticket {
    std::int64_t expiry = 0;
    std::string nonce;
};

class TSessionKeys {
public:
    static constexpr std::int64_t kLifetimeSeconds = 30 * 24 * 3600;
    static constexpr std::int64_t kDeviceLifetimeSeconds = 400 * 24 * 3600;   // browsers' cap

    // `secret`: the signing key (SecretFromPassword or RandomSecret).
    explicit TSessionKeys(std::string secret);

    std::string Issue(std::int64_t now) const;
    bool Valid(std::string_view cookie, std::int64_t now) const { return Read(cookie, now).has_value(); }
    std::optional<Ticket> Read(std::string_view cookie, std::int64_t now) const;
    std::string IssueDevice(std::int64_t now) const;
    std::optional<Ticket> ReadDevice(std::string_view cookie, std::int64_t now) const;
    // The token a page sends with every state change; tied to its cookie.
    std::string CsrfFor(std::string_view cookie) const;
    bool CsrfValid(std::string_view cookie, std::string_view token) const;

private:
    std::string Mac(std::string_view text) const;
    std::string Sign(std::string_view kind, std::int64_t expiry) const;
    std::optional<Ticket> Check(std::string_view kind, std::string_view cookie, std::int64_t now) const;

    std::string secret_;
};

// Slow on purpose: a stolen cookie must not make guessing the password cheap.
std::string SecretFromPassword(const std::string& password);
std::string RandomSecret();
// Constant time in the tried text's content.
bool PasswordMatches(std::string_view tried, std::string_view password);

}  // namespace web
