#pragma once
#include <QByteArray>
#include <QObject>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ComLink.h"
#include "HubOptions.h"
#include "LogGuard.h"
#include "ReplyRouter.h"

class QTimer;
class TComPort;
class TConsoleLink;
class TControllerSession;
class THubState;
class THubWebBackend;
class TMqttBridge;
class TPortKeeper;
class TWebFront;

// selvora-hub put together: the controller's port kept open across unplugging, the reply
// router between the port and its clients (the console links and the hub's own session), the
// controller's state with the MQTT bridge and the web page on it. Everything runs on one thread;
// only libmosquitto and the web server have their own.
class THub : public QObject, private hub::IRouterSink {
    Q_OBJECT
public:
    static constexpr int kHubClient = 0;
    // Outputs change by the hub's own commands (read at once), by the controller's inputs and
    // remote (which send '/') or by a console's button: only that last needs the cycle's output
    // reads, so most turns of the cycle read the inputs.
    static constexpr int kTurnsPerOutputRead = 3;

    explicit THub(hub::HubOptions options, QObject* parent = nullptr);
    ~THub() override;

    // Opens what the hub serves; throws std::runtime_error for what it cannot run without (a
    // link path, a group, an MQTT setting). A missing device is no error: it is looked for.
    void Start();
    // Says goodbye on MQTT.
    void Stop();

private:
    // hub::IRouterSink
    void LineFailed(const std::string& why) override;
    void DeliverToClient(hub::ClientId client, const std::string& bytes) override;
    void ReplyEnded(hub::ClientId client, char request, bool complete) override;
    void PhaseChanged(hub::LinePhase phase) override;
    void Log(const std::string& text, const std::string& repeatKey) override;
    // The hub's own deliveries are handled after the router has returned, and the router's
    // next deadline is armed.
    void Settled() override;

    // Everything the hub logs about what came from outside goes through here.
    void WriteLogSummaries();

    void OpenLinks();
    void ClientOpened(TConsoleLink* link);
    void ClientClosed(TConsoleLink* link);
    void ClientBytes(TConsoleLink* link, const QByteArray& bytes);
    void LineLost(const QString& why);
    void LineRestored();
    void Received(const char* bytes, int count);
    void DrainHubInbox();
    void FlushConsoleOutput();
    void ArmDeadline();
    void UpdateAvailability();

    struct HubEvent {
        std::string bytes;         // bytes for the hub's session, or
        bool replyEnded = false;   // the end of a reply to it
    };

    hub::HubOptions options_;
    TComPort* port_;
    // The hub's session writes through it straight to the port.
    hub::TReplyRouter router_;
    TPortKeeper* keeper_ = nullptr;
    TComLink portLink_;
    TControllerSession* session_ = nullptr;
    THubState* state_ = nullptr;
    TMqttBridge* bridge_ = nullptr;
    THubWebBackend* webBackend_ = nullptr;
    TWebFront* web_ = nullptr;
    QTimer* deadline_ = nullptr;
    hub::TRepeatLimiter logLimiter_;
    QTimer* logSummary_ = nullptr;
    std::vector<TConsoleLink*> links_;
    std::map<TConsoleLink*, hub::ClientId> linkClients_;
    std::map<hub::ClientId, TConsoleLink*> clientLinks_;
    hub::ClientId nextClient_ = 1;
    std::deque<HubEvent> hubInbox_;
    // What the router gave each console during one call, written in one go after it.
    std::map<hub::ClientId, std::string> consoleOutput_;
    bool draining_ = false;
    bool lineUp_ = false;
    bool answeredSinceLineUp_ = false;
    bool lineLossReported_ = false;
};
