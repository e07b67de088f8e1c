#include "WebOptions.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>

namespace web {

namespace {

bool ValidAddress(const std::string& address)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, address.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, address.c_str(), bytes) == 1;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address)
{
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool ParseHttpAddress(const std::string& text, WebOptions& options, std::string& error)
{
    std::string address = options.address;
    std::string port = text;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("]:");
        if (close == std::string::npos) {
            error = "--http: [IPv6]:PORT expected in " + text;
            return false;
        }
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (address == "localhost")
        address = "127.0.0.1";
    if (!ValidAddress(address)) {
        error = "--http: not an IP address: " + address;
        return false;
    }
    char* end = nullptr;
    const long n = port.empty() || port.size() > 5 ? -1 : std::strtol(port.c_str(), &end, 10);
    if (n < 1 || n > 65535 || *end != '\0') {
        error = "--http: bad port in " + text;
        return false;
    }
    options.address = address;
    options.port = static_cast<int>(n);
    return true;
}

bool CheckWebOptions(const WebOptions& options, std::string& error)
{
    if (!options.Enabled())
        return true;
    if (options.passwordFile.empty() && !IsLoopbackAddress(options.address)) {
        error = "--http " + options.address +
                ": a page reachable from other machines needs --http-password-file";
        return false;
    }
    if (options.certFile.empty() != options.keyFile.empty()) {
        error = "--http-cert and --http-key go together";
        return false;
    }
    return true;
}

}  // namespace web
