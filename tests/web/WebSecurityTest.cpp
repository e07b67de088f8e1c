// The web page's defences, against the real hub on the simulator, with plain sockets: what a
// request without a session, from another origin or under another host name gets; requests too
// big to read; slow senders and a crowd of WebSocket clients while the owner and a console keep
// working; the login, its limits, and logging out. Other client addresses are other loopback
// addresses (127.0.0.2 and so on).
#include "HubRig.h"
#include "LineEnd.h"
#include "LoginThrottle.h"
#include "WebServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <mutex>
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

// A connection to the hub on 127.0.0.1 from the loopback address `from`.
int ConnectFrom(const std::string& from, int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &a.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

std::string Request(int port, const std::string& request, const std::string& from = "127.0.0.1")
{
    const int s = ConnectFrom(from, port);
    const std::string answer = Exchange(s, request);
    ::close(s);
    return answer;
}

int Status(const std::string& answer)
{
    return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
}

// The first header `name`, or the first whose value starts with `prefix`.
std::string Header(const std::string& answer, const std::string& name, const std::string& prefix = "")
{
    const std::string key = "\r\n" + name + ": " + prefix;
    const auto at = answer.find(key);
    if (at == std::string::npos)
        return {};
    const auto start = at + name.size() + 4;
    return answer.substr(start, answer.find("\r\n", start) - start);
}

// "name=value" of a Set-Cookie, as a browser sends it back.
std::string CookieSent(const std::string& answer, const std::string& name)
{
    const std::string set = Header(answer, "Set-Cookie", name + "=");
    return set.substr(0, set.find(';'));
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
    EXPECT_EQ(Status(Request(port_, "GET / HTTP/1.1\r\nHost: " + host_ + "\r\nHost: evil.example\r\n\r\n")),
              400)
        << "two Hosts";
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

// Slow senders from three addresses, the owner's among them, take far more connections than the
// server has; the owner's requests are all answered at once.
TEST_F(WebSecurity, SlowHeadersDoNotLockTheOwnerOut)
{
    StartHub();
    std::vector<int> slow;
    for (const char* from : {"127.0.0.1", "127.0.0.2", "127.0.0.3"})
        for (int i = 0; i < 40; ++i) {
            const int s = ConnectFrom(from, port_);
            ASSERT_GE(s, 0);
            ::send(s, "GET / HTTP/1.1\r\nHo", 18, MSG_NOSIGNAL);
            slow.push_back(s);
        }
    for (int i = 0; i < 10; ++i) {
        const std::string from = i % 2 ? "127.0.0.1" : "127.0.0.4";
        EXPECT_EQ(Status(Request(port_, "GET / HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n", from)), 200)
            << "from " << from;
    }
    for (int s : slow)
        ::close(s);
}

// Guessers from eight addresses lock the login for everybody; the owner's browser, which logged
// in before, still gets in. Logging out ends that session on the server, and "everywhere" ends
// them all.
TEST_F(WebSecurity, TheOwnersBrowserLogsInDuringAGlobalLockAndLogsOut)
{
    const std::string passwordFile = tmp_.path().toStdString() + "/web-password";
    std::ofstream(passwordFile) << "correct horse\n";
    StartHub({"--http-password-file", passwordFile});
    const std::string origin = "Origin: " + origin_ + "\r\n";
    const auto login = [&](const std::string& password, const std::string& from,
                           const std::string& cookies) {
        const std::string body = "password=" + password;
        return Request(port_, "POST /login HTTP/1.1\r\nHost: " + host_ + "\r\n" + origin +
                                  (cookies.empty() ? "" : "Cookie: " + cookies + "\r\n") +
                                  "Content-Type: application/x-www-form-urlencoded\r\n"
                                  "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
                       from);
    };
    const auto sessionStatus = [&](const std::string& session) {
        return Status(Request(port_, "GET /api/session HTTP/1.1\r\nHost: " + host_ +
                                         "\r\nCookie: " + session + "\r\n\r\n"));
    };
    const auto csrfOf = [&](const std::string& session) {
        const std::string body = Body(Request(port_, "GET /api/session HTTP/1.1\r\nHost: " + host_ +
                                                         "\r\nCookie: " + session + "\r\n\r\n"));
        const auto at = body.find("\"csrf\":\"");
        return at == std::string::npos ? std::string() : body.substr(at + 8, 64);
    };
    const auto logout = [&](const std::string& target, const std::string& session) {
        return Status(Request(port_, Post(target, host_,
                                          origin + "Cookie: " + session + "\r\nX-Csrf-Token: " +
                                              csrfOf(session) + "\r\n",
                                          "{}")));
    };

    const std::string first = login("correct+horse", "127.0.0.1", "");
    ASSERT_EQ(Status(first), 303);
    const std::string device = CookieSent(first, "selvora_device");
    ASSERT_FALSE(device.empty());
    EXPECT_NE(Header(first, "Set-Cookie", "selvora_device=").find("Path=/login"), std::string::npos);
    const std::string session = CookieSent(first, "selvora_session");
    ASSERT_EQ(sessionStatus(session), 200);
    EXPECT_EQ(logout("/api/logout", session), 204);
    EXPECT_EQ(sessionStatus(session), 401) << "the old cookie after logging out";

    // Failures from eight addresses, at most four from each: no address is locked, everybody is.
    for (int i = 0; i < web::TLoginThrottle::kMostFailuresEverywhere; ++i)
        EXPECT_EQ(Status(login("guess", "127.0.0." + std::to_string(2 + i % 8), "")), 401);
    EXPECT_EQ(Status(login("correct+horse", "127.0.0.10", "")), 429) << "a stranger";
    EXPECT_EQ(Status(login("correct+horse", "127.0.0.10", "selvora_device=1.2.3")), 429) << "a forged mark";
    const std::string owner = login("correct+horse", "127.0.0.1", device);
    ASSERT_EQ(Status(owner), 303) << "the owner's browser";
    const std::string again = login("correct+horse", "127.0.0.11", device);
    ASSERT_EQ(Status(again), 303) << "the same browser elsewhere";

    const std::string a = CookieSent(owner, "selvora_session");
    const std::string b = CookieSent(again, "selvora_session");
    ASSERT_EQ(sessionStatus(b), 200);
    EXPECT_EQ(logout("/api/logout-all", a), 204);
    EXPECT_EQ(sessionStatus(a), 401);
    EXPECT_EQ(sessionStatus(b), 401) << "every session ends";
    const std::string fresh = login("correct+horse", "127.0.0.1", device);
    EXPECT_EQ(sessionStatus(CookieSent(fresh, "selvora_session")), 200) << "a login right after";
}

namespace {

// A hub that takes commands and answers them only when told: their connections stay busy.
class HeldCommands : public web::IWebRequests {
public:
    void SetOutput(int, bool, Done done) override { Hold(std::move(done)); }
    void SetMode(int, Done done) override { Hold(std::move(done)); }
    void WantRouting() override {}

    std::size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return held_.size();
    }
    void AnswerAll()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Done& done : held_)
            done(true);
        held_.clear();
    }

private:
    void Hold(Done done)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.push_back(std::move(done));
    }
    std::mutex mutex_;
    std::vector<Done> held_;
};

}  // namespace

// The server alone, with room for four connections, two from one address. A connection that
// waits for its request makes room for a newcomer; when all of an address's are busy answering,
// the newcomer is told 503, not reset.
TEST(WebServerLimits, BusyConnectionsAreKeptAndTheRestGet503)
{
    HeldCommands commands;
    web::ServerConfig config;
    config.hostNames = {"127.0.0.1"};
    config.limits.connections = 4;
    config.limits.connectionsPerAddress = 2;
    web::TWebServer server(config, commands);
    server.Start();
    const int port = server.Port();
    const std::string host = "127.0.0.1:" + std::to_string(port);
    const Session s = OpenSession(port, host);
    ASSERT_FALSE(s.csrf.empty());

    std::vector<int> busy;
    for (int i = 0; i < 2; ++i) {
        busy.push_back(ConnectFrom("127.0.0.2", port));
        const std::string post = Post("/api/output/1", host,
                                      "Origin: http://" + host + "\r\nCookie: " + s.cookie +
                                          "\r\nX-Csrf-Token: " + s.csrf + "\r\n",
                                      "{\"on\":true}");
        ::send(busy.back(), post.data(), post.size(), MSG_NOSIGNAL);
    }
    ASSERT_TRUE(WaitUntil([&] { return commands.Count() == 2; }, 5000));
    const std::string get = "GET / HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    const std::string refused = Request(port, get, "127.0.0.2");
    EXPECT_EQ(Status(refused), 503);
    EXPECT_EQ(Header(refused, "Retry-After"), "5");

    // Two slow senders fill the server; a third address still gets in, in place of one of them.
    std::vector<int> slow;
    for (int i = 0; i < 2; ++i) {
        slow.push_back(ConnectFrom("127.0.0.3", port));
        ::send(slow.back(), "GET / HT", 8, MSG_NOSIGNAL);
    }
    EXPECT_EQ(Status(Request(port, get, "127.0.0.4")), 200);

    commands.AnswerAll();
    for (int sock : busy) {
        EXPECT_EQ(Status(Exchange(sock, "")), 204);
        ::close(sock);
    }
    for (int sock : slow)
        ::close(sock);
    server.Stop();
}

// The header's deadline holds for the whole header, however steadily its bytes come.
TEST(WebServerLimits, AHeaderTricklingInIsCutOffAtItsDeadline)
{
    HeldCommands commands;
    web::ServerConfig config;
    config.hostNames = {"127.0.0.1"};
    config.limits.headerTimeout = std::chrono::seconds(1);
    web::TWebServer server(config, commands);
    server.Start();
    const int sock = ConnectFrom("127.0.0.1", server.Port());
    const std::string header = "GET / HTTP/1.1\r\nX-Pad: " + std::string(200, 'a');
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    for (std::size_t i = 0; i < header.size() && !closed; ++i) {
        closed = ::send(sock, &header[i], 1, MSG_NOSIGNAL) != 1;
        pollfd p{sock, POLLIN, 0};
        char byte;
        if (::poll(&p, 1, 100) > 0)
            closed = ::recv(sock, &byte, 1, 0) <= 0 || closed;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5))
            break;
    }
    const auto after = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(closed);
    EXPECT_GE(after, std::chrono::milliseconds(900));
    EXPECT_LT(after, std::chrono::seconds(4));
    ::close(sock);
    server.Stop();
}
