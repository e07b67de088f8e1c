#pragma once
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The names a request may carry in its Host header. A page reached through a name that is not
// ours is DNS rebinding (another site's name pointing at this machine); an Origin check alone
// cannot see it, since the attacker's page is then same-origin with itself.
namespace web {

class TAllowedHosts {
public:
    // `names`: host names and address literals, compared without case and without the port.
    explicit TAllowedHosts(const std::vector<std::string>& names);

    bool Allows(std::string_view hostHeader) const;

private:
    std::set<std::string> names_;
};

// localhost, the listening address, the machine's name (also with ".local") and, for an address
// that listens everywhere, every address of the machine's interfaces.
std::vector<std::string> OwnHostNames(const std::string& listenAddress);

// The host (lower case, IPv6 without brackets) of "host[:port]"; empty when malformed.
std::string HostOf(std::string_view hostHeader);

// An Origin ("scheme://host[:port]") naming the same host and port as the Host header.
bool SameOrigin(std::string_view origin, std::string_view hostHeader);

}  // namespace web
