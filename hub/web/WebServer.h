#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The page's HTTP and WebSocket server (Boost.Beast) on a thread of its own. It knows nothing
// of the hub: commands go out through IWebRequests, and the hub's state comes in as finished
// messages that the server keeps for new pages and sends to the open ones.
namespace web {

struct ServerLimits {
    std::size_t headerBytes = 8 * 1024;
    std::size_t bodyBytes = 4 * 1024;
    int connections = 64;               // HTTP connections at once
    int connectionsPerAddress = 16;     // of those, from one client address
    int webSockets = 32;                // pages at once
    std::size_t messageBytes = 1024;    // one message from a page
    int messagesPerSecond = 5;          // from a page, with bursts of twice that
    std::size_t queuedMessages = 64;    // to a page that does not read
    std::chrono::seconds headerTimeout{10};    // a whole request header, or an idle keep-alive
    std::chrono::seconds requestTimeout{15};   // its body, and writing the answer
};

struct ServerConfig {
    std::string address = "127.0.0.1";
    unsigned short port = 0;             // 0: any free port
    std::string password;                // empty: no login, every page gets a session
    std::string certFile;                // TLS when both are set
    std::string keyFile;
    std::vector<std::string> hostNames;  // what the Host header may name
    ServerLimits limits;
};

// Called on the server thread and must not block; `done` may be called from any thread.
class IWebRequests {
public:
    using Done = std::function<void(bool accepted)>;
    virtual ~IWebRequests() = default;
    virtual void SetOutput(int output, bool on, Done done) = 0;
    virtual void SetMode(int mode, Done done) = 0;
    // A page opened the routing view.
    virtual void WantRouting() = 0;
};

class TWebServer {
public:
    TWebServer(ServerConfig config, IWebRequests& requests);
    ~TWebServer();

    // Listens at once (throws std::runtime_error saying why it cannot), then serves on its
    // own thread.
    void Start();
    // Joins the thread; handlers not yet run are dropped.
    void Stop();
    unsigned short Port() const;

    // From any thread.
    void PublishState(std::string message);
    void PublishRouting(std::string message, std::string backupFile);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace web
