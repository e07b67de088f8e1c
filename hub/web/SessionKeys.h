#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Session cookies and their CSRF tokens, signed rather than stored: a page keeps its session
// across a restart of the hub, and a changed password ends every session. No I/O, no clock.
namespace web {

class TSessionKeys {
public:
    static constexpr std::int64_t kLifetimeSeconds = 30 * 24 * 3600;

    // `secret`: the signing key (SecretFromPassword or RandomSecret).
    explicit TSessionKeys(std::string secret);

    std::string Issue(std::int64_t now) const;
    bool Valid(std::string_view cookie, std::int64_t now) const;
    // The token a page sends with every state change; tied to its cookie.
    std::string CsrfFor(std::string_view cookie) const;
    bool CsrfValid(std::string_view cookie, std::string_view token) const;

private:
    std::string Mac(std::string_view text) const;

    std::string secret_;
};

// Slow on purpose: a stolen cookie must not make guessing the password cheap.
std::string SecretFromPassword(const std::string& password);
std::string RandomSecret();
// Constant time in the tried text's content.
bool PasswordMatches(std::string_view tried, std::string_view password);

}  // namespace web
