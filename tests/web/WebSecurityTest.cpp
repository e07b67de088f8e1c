// The web page's defences, against the real hub on the simulator, with plain sockets: what a
// request without a session, from another origin or under another host name gets; requests too
// big to read; a crowd of WebSocket clients while a console keeps using the line; the login.
#include "HubRig.h"
#include "LineEnd.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace hubrig;

namespace {

// Sends what it can (the server may close early) and returns the answer's head, "" when the
// connection closed without one.
std::string Exchange(int s, const std::string& request, int timeoutMs = 5000)
{
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    std::string answer;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (answer.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::recv(s, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        answer.append(buf, static_cast<std::size_t>(n));
    }
    return answer;
}

std::string Request(int port, const std::string& request)
{
    const int s = ConnectLoopback(port);
    const std::string answer = Exchange(s, request);
    ::close(s);
    return answer;
}

int Status(const std::string& answer)
{
    return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string Header(const std::string& answer, const std::string& name)
{
    const auto at = answer.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return {};
    const auto start = at + name.size() + 4;
    return answer.substr(start, answer.find("\r\n", start) - start);
}

std::string Body(const std::string& answer)
{
    const auto at = answer.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : answer.substr(at + 4);
}

struct Session {
    std::string cookie;   // "selvora_session=..."
    std::string csrf;
};

// A page's session, as a browser gets it without a login.
Session OpenSession(int port, const std::string& host)
{
    const std::string answer = Request(port, "GET /api/session HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    Session s;
    const std::string set = Header(answer, "Set-Cookie");
    s.cookie = set.substr(0, set.find(';'));
    const std::string body = Body(answer);
    const auto at = body.find("\"csrf\":\"");
    if (at != std::string::npos)
        s.csrf = body.substr(at + 8, 64);
    return s;
}

std::string Post(const std::string& target, const std::string& host, const std::string& extra,
                 const std::string& body)
{
    return "POST " + target + " HTTP/1.1\r\nHost: " + host + "\r\n" + extra +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::string Upgrade(const std::string& host, const std::string& origin, const std::string& cookie)
{
    return "GET /ws HTTP/1.1\r\nHost: " + host + "\r\nOrigin: " + origin + "\r\nCookie: " + cookie +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

class WebSecurity : public ::testing::Test {
protected:
    void StartHub(const std::vector<std::string>& extra = {})
    {
        rig_ = std::make_unique<Rig>(tmp_.path().toStdString(), extra, Rig::WebPage::On);
        port_ = rig_->WebPort();
        host_ = "127.0.0.1:" + std::to_string(port_);
        origin_ = "http://" + host_;
        ASSERT_TRUE(WaitUntil([this] { return Status(Request(port_, "GET / HTTP/1.1\r\nHost: " +
                                                                        host_ + "\r\n\r\n")) == 200; },
                              8000))
            << ReadLog();
    }

    std::string ReadLog()
    {
        std::ifstream f(rig_->HubLog());
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    QTemporaryDir tmp_;
    std::unique_ptr<Rig> rig_;
    int port_ = 0;
    std::string host_;
    std::string origin_;
};

}  // namespace

TEST_F(WebSecurity, StateChangesNeedTheSessionItsTokenAndOurOrigin)
{
    StartHub();
    const std::string body = "{\"on\":true}";
    const std::string origin = "Origin: " + origin_ + "\r\n";
    EXPECT_EQ(Status(Request(port_, Post("/api/output/1", host_, origin, body))), 401);

    const Session s = OpenSession(port_, host_);
    ASSERT_FALSE(s.cookie.empty());
    const std::string cookie = "Cookie: " + s.cookie + "\r\n";
    const std::string token = "X-Csrf-Token: " + s.csrf + "\r\n";
    // The cookie alone is what a forged cross-site form would carry.
    EXPECT_EQ(Status(Request(port_, Post("/api/output/1", host_, origin + cookie, body))), 403);
    EXPECT_EQ(Status(Request(port_, Post("/api/output/1", host_, cookie + token, body))), 403)
        << "no Origin";
    EXPECT_EQ(Status(Request(port_, Post("/api/output/1", host_,
                                         "Origin: http://evil.example\r\n" + cookie + token, body))),
              403);
    EXPECT_EQ(Status(Request(port_, Post("/api/output/99", host_, origin + cookie + token, body))), 400);
    EXPECT_EQ(Status(Request(port_, Post("/api/output/1", host_, origin + cookie + token, "{\"on\":"))),
              400);
    // Everything in order: the output is switched.
    ASSERT_TRUE(WaitUntil([&] {
        return Status(Request(port_, Post("/api/output/1", host_, origin + cookie + token, body))) == 204;
    }, 8000)) << ReadLog();
}

TEST_F(WebSecurity, ForeignHostsOriginsAndMalformedOrHugeRequestsAreRefused)
{
    StartHub();
    const Session s = OpenSession(port_, host_);
    // DNS rebinding: another site's name pointing at this machine.
    EXPECT_EQ(Status(Request(port_, "GET / HTTP/1.1\r\nHost: evil.example:" + std::to_string(port_) +
                                        "\r\n\r\n")),
              403);
    EXPECT_EQ(Status(Request(port_, "GET / HTTP/1.1\r\n\r\n")), 400) << "no Host";
    EXPECT_EQ(Status(Request(port_, Upgrade(host_, "http://evil.example", s.cookie))), 403);
    EXPECT_EQ(Status(Request(port_, Upgrade("evil.example", origin_, s.cookie))), 403);
    EXPECT_EQ(Status(Request(port_, Upgrade(host_, origin_, "selvora_session=forged"))), 401);
    EXPECT_EQ(Status(Request(port_, "GET /../../etc/passwd HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n")), 404);
    EXPECT_EQ(Status(Request(port_, "BREW / HTCPCP/1.0\r\n\r\n")), 400);

    const std::string hugeHeaders = "GET / HTTP/1.1\r\nHost: " + host_ + "\r\nX-Fill: " +
                                    std::string(1 << 20, 'a') + "\r\n\r\n";
    const int headerStatus = Status(Request(port_, hugeHeaders));
    EXPECT_TRUE(headerStatus == 0 || (headerStatus >= 400 && headerStatus < 500)) << headerStatus;
    const std::string hugeBody = Post("/api/mode", host_, "Origin: " + origin_ + "\r\n",
                                      std::string(10 << 20, 'a'));
    const int bodyStatus = Status(Request(port_, hugeBody));
    EXPECT_TRUE(bodyStatus == 0 || (bodyStatus >= 400 && bodyStatus < 500)) << bodyStatus;
    // And the server is still there.
    EXPECT_EQ(Status(Request(port_, "GET /app.js HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n")), 200);
}

// 200 pages at once: a bounded number is served, the rest are turned away, and a console on the
// line still gets its replies at once.
TEST_F(WebSecurity, ACrowdOfWebSocketsIsBoundedAndTheConsoleKeepsItsLine)
{
    StartHub();
    const Session s = OpenSession(port_, host_);
    LineEnd console(rig_->Link());
    ASSERT_TRUE(console.IsOpen());
    std::vector<int> sockets;
    int opened = 0;
    int refused = 0;
    for (int i = 0; i < 200; ++i) {
        const int sock = ConnectLoopback(port_);
        if (sock < 0) {
            ++refused;
            continue;
        }
        sockets.push_back(sock);
        const int status = Status(Exchange(sock, Upgrade(host_, origin_, s.cookie), 2000));
        status == 101 ? ++opened : ++refused;
    }
    EXPECT_GT(opened, 0);
    EXPECT_LE(opened, 32);
    EXPECT_EQ(opened + refused, 200);
    const auto start = std::chrono::steady_clock::now();
    console.Write("x");
    const std::string reply = console.Read(17, 2000);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_EQ(reply.size(), 17u);
    EXPECT_LT(ms, 500) << "the console waited";
    EXPECT_EQ(Status(Request(port_, "GET / HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n")), 200);
    for (int sock : sockets)
        ::close(sock);
}

TEST_F(WebSecurity, TheLoginLimitsFailedTriesAndItsCookieIsHttpOnlyAndStrict)
{
    const std::string passwordFile = tmp_.path().toStdString() + "/web-password";
    std::ofstream(passwordFile) << "correct horse\n";
    StartHub({"--http-password-file", passwordFile});
    const std::string origin = "Origin: " + origin_ + "\r\n";
    const auto login = [&](const std::string& password) {
        const std::string body = "password=" + password;
        return Request(port_, "POST /login HTTP/1.1\r\nHost: " + host_ + "\r\n" + origin +
                                  "Content-Type: application/x-www-form-urlencoded\r\n"
                                  "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    };
    EXPECT_EQ(Status(Request(port_, "GET /api/session HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n")), 401);
    const std::string ok = login("correct+horse");
    EXPECT_EQ(Status(ok), 303);
    const std::string cookie = Header(ok, "Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    const std::string session = cookie.substr(0, cookie.find(';'));
    EXPECT_EQ(Status(Request(port_, "GET /api/session HTTP/1.1\r\nHost: " + host_ + "\r\nCookie: " +
                                        session + "\r\n\r\n")),
              200);

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Status(login("guess" + std::to_string(i))), 401);
    // Locked out now, even with the right password.
    EXPECT_EQ(Status(login("correct+horse")), 429);
}
