#include "SessionKeys.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <stdexcept>

namespace web {

namespace {

std::string Hex(const unsigned char* bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

bool EqualConstantTime(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string RandomHex(std::size_t count)
{
    unsigned char bytes[32];
    if (count > sizeof bytes || RAND_bytes(bytes, static_cast<int>(count)) != 1)
        throw std::runtime_error("no random bytes");
    return Hex(bytes, count);
}

}  // namespace

TSessionKeys::TSessionKeys(std::string secret) : secret_(std::move(secret)) {}

std::string TSessionKeys::Mac(std::string_view text) const
{
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), secret_.data(), static_cast<int>(secret_.size()),
         reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &length);
    return Hex(mac, length);
}

// "expiry.nonce.mac"; the kind is signed too, so one kind cannot pass for the other.
std::string TSessionKeys::Sign(std::string_view kind, std::int64_t expiry) const
{
    const std::string body = std::to_string(expiry) + "." + RandomHex(16);
    return body + "." + Mac(std::string(kind) + " " + body);
}

std::optional<Ticket> TSessionKeys::Check(std::string_view kind, std::string_view cookie,
                                          std::int64_t now) const
{
    if (cookie.size() > 200)
        return std::nullopt;
    const auto last = cookie.rfind('.');
    const auto first = cookie.find('.');
    if (last == std::string_view::npos || first == last)
        return std::nullopt;
    const std::string_view body = cookie.substr(0, last);
    if (!EqualConstantTime(cookie.substr(last + 1), Mac(std::string(kind) + " " + std::string(body))))
        return std::nullopt;
    std::int64_t expiry = 0;
    for (char ch : cookie.substr(0, first)) {
        if (ch < '0' || ch > '9' || expiry > (INT64_MAX - 9) / 10)
            return std::nullopt;
        expiry = expiry * 10 + (ch - '0');
    }
    if (now >= expiry)
        return std::nullopt;
    return Ticket{expiry, std::string(cookie.substr(first + 1, last - first - 1))};
}

std::string TSessionKeys::Issue(std::int64_t now) const
{
    return Sign("session", now + kLifetimeSeconds);
}

std::optional<Ticket> TSessionKeys::Read(std::string_view cookie, std::int64_t now) const
{
    return Check("session", cookie, now);
}

std::string TSessionKeys::IssueDevice(std::int64_t now) const
{
    return Sign("device", now + kDeviceLifetimeSeconds);
}

std::optional<Ticket> TSessionKeys::ReadDevice(std::string_view cookie, std::int64_t now) const
{
    return Check("device", cookie, now);
}

std::string TSessionKeys::CsrfFor(std::string_view cookie) const
{
    return Mac("csrf " + std::string(cookie));
}

bool TSessionKeys::CsrfValid(std::string_view cookie, std::string_view token) const
{
    return EqualConstantTime(token, CsrfFor(cookie));
}

std::string SecretFromPassword(const std::string& password)
{
    static const unsigned char salt[] = "selvora-hub web sessions";
    unsigned char key[32];
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt,
                          sizeof salt - 1, 200000, EVP_sha256(), sizeof key, key) != 1)
        throw std::runtime_error("cannot derive the session key");
    return std::string(reinterpret_cast<const char*>(key), sizeof key);
}

std::string RandomSecret()
{
    return RandomHex(32);
}

bool PasswordMatches(std::string_view tried, std::string_view password)
{
    unsigned char a[SHA256_DIGEST_LENGTH];
    unsigned char b[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(tried.data()), tried.size(), a);
    SHA256(reinterpret_cast<const unsigned char*>(password.data()), password.size(), b);
    return CRYPTO_memcmp(a, b, sizeof a) == 0 && !password.empty();
}

}  // namespace web
