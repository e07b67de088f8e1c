#pragma once
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "ComWriter.h"

// One controller line shared by several clients (consoles on pseudo-terminals, the hub's own
// session). The controller's replies carry no address, so requests go out one at a time and
// each reply goes to the client that asked; the few characters the controller sends on its own
// go to everybody. It writes to the line it is given and tells the rest to its sink; time is
// passed in (the clock it is given serves only ClientWriter), and Tick must be called at
// NextDeadline.
namespace hub {

using RouterClock = std::chrono::steady_clock;
using TimePoint = RouterClock::time_point;
using ClientId = int;

enum class LinePhase {
    Normal,
    RoutingWrite,    // one client writes a routing table; everybody else waits
    Learning,        // RC-5 learning: the line belongs to one client until it closes
    AwaitingReset,   // learning ended; the controller answers nothing until its Reset button
};

// What the router tells its owner.
class IRouterSink {
public:
    virtual ~IRouterSink() = default;
    // A write to the controller failed. The owner closes the line and calls SetLineUp(false),
    // not from inside this call.
    virtual void LineFailed(const std::string& why) = 0;
    virtual void DeliverToClient(ClientId client, const std::string& bytes) = 0;
    // The reply to `request` ("x", "q" or "C") is over: complete when it reached its count (or
    // '!'), else it ran out of time or the line went away.
    virtual void ReplyEnded(ClientId client, char request, bool complete) = 0;
    virtual void PhaseChanged(LinePhase phase) = 0;
    // Messages with one `repeatKey` are one kind, for the log's limit on repeats.
    virtual void Log(const std::string& text, const std::string& repeatKey) = 0;
    // The router's outermost call is returning: what it delivered may be acted on now (and may
    // call the router again), and NextDeadline may have moved.
    virtual void Settled() = 0;
};

class TReplyRouter {
public:
    static constexpr std::chrono::milliseconds kReplyTimeout{100};
    static constexpr std::chrono::milliseconds kWritePauseLimit{5000};
    static constexpr std::size_t kMaxQueuedRequests = 16;   // per client
    static constexpr std::size_t kMaxHeldBytes = 1024;      // per client
    static constexpr std::size_t kMaxDeferredBytes = 64;    // per client

    using Clock = std::function<TimePoint()>;

    // `lineUp`: whether the controller's line is there to begin with.
    TReplyRouter(IRouterSink& sink, IComWriter& line, bool lineUp = true,
                 Clock clock = &RouterClock::now);

    void AddClient(ClientId client);
    // The client is gone; whatever it started finishes without it.
    void RemoveClient(ClientId client, TimePoint now);
    bool HasClient(ClientId client) const { return clients_.count(client) != 0; }

    void FromClient(ClientId client, const std::string& bytes, TimePoint now);
    // A writer for a client that lives in this process (the hub's own session): its bytes
    // enter the router at once, at the clock's time; it returns how many it took.
    std::function<int(const std::string& bytes)> ClientWriter(ClientId client);
    void FromController(const std::string& bytes, TimePoint now);
    void Tick(TimePoint now);
    std::optional<TimePoint> NextDeadline() const;

    // The device is gone or back. While it is gone requests wait, and output commands are
    // dropped: they would run late.
    void SetLineUp(bool up, TimePoint now);
    bool LineUp() const { return lineUp_; }
    LinePhase Phase() const { return phase_; }
    // A client whose request waits or whose reply is being received.
    bool Waiting(ClientId client) const;

private:
    struct TimedByte {
        TimePoint at;
        char byte;
    };
    struct Client {
        int outstanding = 0;            // "x", "q", "C" queued or being answered
        std::string deferred;           // broadcasts waiting for the end of its replies
        std::deque<TimedByte> held;     // bytes waiting for another client's write or learning
        std::deque<TimedByte> special;  // bytes after its own queued "c" or "R", kept in time
        bool specialQueued = false;
        bool droppingRoutingDigits = false;   // after an abandoned or refused routing write
    };
    struct Request {
        ClientId client;
        char command;
        TimePoint at;
    };
    struct Reply {
        ClientId client;   // -1 once the client has gone
        char request;
        int received = 0;
        TimePoint lastByte;
    };
    struct Write {
        ClientId writer = -1;
        int routingCharacters = 0;
        TimePoint lastForward;   // when the previous byte went out
        TimePoint lastArrival;   // when the writer had written it
    };

    // Every public call that may act runs through here: the sink hears Settled when the
    // outermost one returns, and may then call again.
    template <class Body> void Call(Body&& body);
    void ClientByte(ClientId id, Client& client, TimedByte b, TimePoint now);
    void Enqueue(ClientId id, Client& client, char command, TimePoint at);
    void StartNext(TimePoint now);
    // The first request of the next client in turn that has one.
    std::deque<Request>::iterator NextInTurn();
    void ControllerByte(char ch, TimePoint now);
    void Broadcast(char ch);
    void EndReply(bool complete);
    void AdvanceWrite(TimePoint now);
    void EndWrite(bool stored, const std::string& why, TimePoint now);
    void EndLearning(TimePoint now);
    void SetPhase(LinePhase phase);
    void ReleaseHeld(TimePoint now);
    void Deliver(ClientId id, char ch);
    void WriteToController(const std::string& bytes);
    void Log(const std::string& text) { sink_.Log(text, text); }
    void Log(const std::string& text, const std::string& repeatKey) { sink_.Log(text, repeatKey); }
    // "client N: " + what + " (byte xx)", one kind for every byte.
    void LogClientByte(ClientId id, const std::string& what, char ch);

    IRouterSink& sink_;
    IComWriter& line_;
    Clock clock_;
    int calls_ = 0;
    std::map<ClientId, Client> clients_;
    std::deque<Request> queue_;
    std::optional<Reply> reply_;
    Write write_;
    ClientId learner_ = -1;
    ClientId lastServed_ = -1;   // requests take turns by client, from the one after this
    LinePhase phase_ = LinePhase::Normal;
    bool lineUp_;
};

std::string HexByte(char ch);

}  // namespace hub
