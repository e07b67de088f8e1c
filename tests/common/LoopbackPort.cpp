#include "LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int FreeLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
}

int StartOnFreePort(const std::function<PortBind(int port, std::string* why)>& start,
                    std::string* error, int attempts)
{
    std::string why;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        const int port = FreeLoopbackPort();
        if (port == 0) {
            *error = "no free loopback port";
            return 0;
        }
        why.clear();
        switch (start(port, &why)) {
        case PortBind::Listening:
            return port;
        case PortBind::Failed:
            *error = "on port " + std::to_string(port) + ": " + why;
            return 0;
        case PortBind::Taken:
            break;
        }
    }
    *error = "the port was taken before the server bound it, " + std::to_string(attempts) +
             " times in a row; the last time: " + why;
    return 0;
}
