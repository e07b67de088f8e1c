#include "HostCheck.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

namespace web {

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return out;
}

bool HostCharacter(unsigned char ch)
{
    return std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_';
}

bool Digits(std::string_view text)
{
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](unsigned char ch) { return std::isdigit(ch); });
}

}  // namespace

std::string HostOf(std::string_view header)
{
    if (header.empty() || header.size() > 255)
        return {};
    if (header.front() == '[') {
        const auto close = header.find(']');
        if (close == std::string_view::npos)
            return {};
        const std::string_view rest = header.substr(close + 1);
        if (!rest.empty() && (rest.front() != ':' || !Digits(rest.substr(1))))
            return {};
        const std::string inner = Lower(header.substr(1, close - 1));
        in6_addr v6{};
        return ::inet_pton(AF_INET6, inner.c_str(), &v6) == 1 ? inner : std::string();
    }
    const auto colon = header.find(':');
    const std::string_view host = header.substr(0, colon);
    if (colon != std::string_view::npos && !Digits(header.substr(colon + 1)))
        return {};
    if (host.empty() || !std::all_of(host.begin(), host.end(), HostCharacter))
        return {};
    std::string name = Lower(host);
    if (name.back() == '.')   // "localhost." is localhost
        name.pop_back();
    return name;
}

TAllowedHosts::TAllowedHosts(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        names_.insert(Lower(name));
}

bool TAllowedHosts::Allows(std::string_view hostHeader) const
{
    const std::string host = HostOf(hostHeader);
    return !host.empty() && names_.count(host) != 0;
}

std::vector<std::string> OwnHostNames(const std::string& listenAddress)
{
    std::vector<std::string> names{"localhost", "127.0.0.1", "::1", listenAddress};
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0]) {
        names.emplace_back(name);
        names.push_back(std::string(name) + ".local");
    }
    if (listenAddress == "0.0.0.0" || listenAddress == "::") {
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) == 0) {
            for (ifaddrs* a = list; a; a = a->ifa_next) {
                if (!a->ifa_addr)
                    continue;
                char text[INET6_ADDRSTRLEN] = {};
                if (a->ifa_addr->sa_family == AF_INET)
                    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr,
                                text, sizeof text);
                else if (a->ifa_addr->sa_family == AF_INET6)
                    ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr,
                                text, sizeof text);
                if (text[0])
                    names.emplace_back(text);
            }
            ::freeifaddrs(list);
        }
    }
    return names;
}

bool SameOrigin(std::string_view origin, std::string_view hostHeader)
{
    const auto scheme = origin.find("://");
    if (scheme == std::string_view::npos)
        return false;
    const std::string_view s = origin.substr(0, scheme);
    if (s != "http" && s != "https")
        return false;
    std::string_view rest = origin.substr(scheme + 3);
    if (rest.find('/') != std::string_view::npos)
        return false;
    return !HostOf(rest).empty() && Lower(rest) == Lower(hostHeader);
}

}  // namespace web
