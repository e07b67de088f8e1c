#pragma once
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

#include "WebBackend.h"
#include "WebOptions.h"
#include "WebServer.h"

class QTimer;

// The web page on the hub's thread: requests from the server's thread are handed over here by
// queued calls and run against the hub's state; the hub's changes go out as messages.
class TWebFront : public QObject, private web::IWebRequests {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kRoutingReadInterval{60};

    TWebFront(web::IWebBackend& backend, web::WebOptions options, QObject* parent = nullptr);
    ~TWebFront() override;

    // Reads the password file and listens; throws std::runtime_error saying what failed.
    void Start(web::ServerLimits limits = {});
    unsigned short Port() const;

    // The hub's state changed; a burst of changes gives one message.
    void StateChanged();
    // A routing table came (or a read of it ended without one).
    void RoutingChanged();

private:
    // web::IWebRequests, on the server's thread
    void SetOutput(int output, bool on, Done done) override;
    void SetMode(int mode, Done done) override;
    void WantRouting() override;

    void PublishState();
    void PublishRouting();
    void ReadRoutingIfDue();

    web::IWebBackend& backend_;
    web::WebOptions options_;
    std::unique_ptr<web::TWebServer> server_;
    QTimer* stateTimer_;
    std::optional<std::chrono::steady_clock::time_point> routingAsked_;
    bool routingReading_ = false;
};
