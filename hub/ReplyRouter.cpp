#include "ReplyRouter.h"

#include "ControllerProtocol.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

namespace hub {

namespace P = ControllerProtocol;

namespace {

using P::IsStateRequest;
using P::kRoutingCharacters;

}  // namespace

std::string HexByte(char ch)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned char>(ch));
    return text;
}

TReplyRouter::TReplyRouter(IRouterSink& sink, IComWriter& line, bool lineUp, Clock clock)
    : sink_(sink), line_(line), clock_(std::move(clock)), lineUp_(lineUp)
{
}

template <class Body> void TReplyRouter::Call(Body&& body)
{
    ++calls_;
    try {
        body();
    } catch (...) {
        --calls_;
        throw;
    }
    if (--calls_ == 0)
        sink_.Settled();
}

std::function<int(const std::string&)> TReplyRouter::ClientWriter(ClientId client)
{
    return [this, client](const std::string& bytes) {
        FromClient(client, bytes, clock_());
        return static_cast<int>(bytes.size());
    };
}

void TReplyRouter::WriteToController(const std::string& bytes)
{
    std::string why;
    if (!line_.WriteBytes(bytes, why))
        sink_.LineFailed(why);
}

void TReplyRouter::AddClient(ClientId client)
{
    clients_.emplace(client, Client{});
}

bool TReplyRouter::Waiting(ClientId client) const
{
    const auto it = clients_.find(client);
    return it != clients_.end() && it->second.outstanding > 0;
}

void TReplyRouter::RemoveClient(ClientId id, TimePoint now)
{
    Call([&] {
        if (!clients_.count(id))
            return;
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [id](const Request& r) { return r.client == id; }),
                     queue_.end());
        // A reply under way still has to run its course, or its rest would be taken for the next.
        if (reply_ && reply_->client == id)
            reply_->client = -1;
        if (phase_ == LinePhase::RoutingWrite && write_.writer == id) {
            Log("client " + std::to_string(id) + " left during its routing write");
            write_.writer = -1;
        }
        clients_.erase(id);
        if (phase_ == LinePhase::Learning && learner_ == id) {
            EndLearning(now);
            return;
        }
        StartNext(now);
    });
}

void TReplyRouter::FromClient(ClientId id, const std::string& bytes, TimePoint now)
{
    Call([&] {
        auto it = clients_.find(id);
        if (it == clients_.end())
            return;
        for (char ch : bytes) {
            // A byte may end a phase and so change what the map holds; look the client up anew.
            it = clients_.find(id);
            if (it == clients_.end())
                return;
            ClientByte(id, it->second, {now, ch}, now);
        }
        AdvanceWrite(now);
        StartNext(now);
    });
}

void TReplyRouter::ClientByte(ClientId id, Client& client, TimedByte b, TimePoint now)
{
    const char ch = b.byte;
    if (phase_ == LinePhase::Learning && id == learner_) {
        // Learning talks in escape sequences and free keys: nothing is interpreted.
        if (lineUp_)
            WriteToController(std::string(1, ch));
        return;
    }
    if ((phase_ == LinePhase::RoutingWrite && id == write_.writer) || client.specialQueued) {
        if (client.special.size() >= kMaxHeldBytes) {
            LogClientByte(id, "queue full, dropped", ch);
            return;
        }
        client.special.push_back(b);
        return;
    }
    if (phase_ == LinePhase::RoutingWrite || phase_ == LinePhase::Learning) {
        if (phase_ == LinePhase::RoutingWrite && ch == P::kRoutingWrite) {
            Log("client " + std::to_string(id) + ": routing write refused, another one runs");
            client.droppingRoutingDigits = true;
            return;
        }
        if (client.droppingRoutingDigits && P::IsState(ch))
            return;
        client.droppingRoutingDigits = false;
        if (client.held.size() >= kMaxHeldBytes) {
            LogClientByte(id, "queue full, dropped", ch);
            return;
        }
        client.held.push_back(b);
        return;
    }

    if (client.droppingRoutingDigits) {
        if (P::IsState(ch))
            return;
        client.droppingRoutingDigits = false;
    }
    if (P::IsOutputCommand(ch) || ch == P::kNextMode) {
        if (!lineUp_) {
            LogClientByte(id, "command dropped, the line is down", ch);
            return;
        }
        WriteToController(std::string(1, ch));
        return;
    }
    if (IsStateRequest(ch) || ch == P::kLearning) {
        Enqueue(id, client, ch, b.at);
        StartNext(now);   // on an idle line at once, so the client's order holds
        return;
    }
    if (ch == P::kRoutingWrite) {
        const bool otherWriter = std::any_of(queue_.begin(), queue_.end(), [id](const Request& r) {
            return r.command == P::kRoutingWrite && r.client != id;
        });
        if (otherWriter) {
            Log("client " + std::to_string(id) + ": routing write refused, another one waits");
            client.droppingRoutingDigits = true;
            return;
        }
        Enqueue(id, client, ch, b.at);
        StartNext(now);
        return;
    }
    LogClientByte(id, "no command, dropped", ch);
}

void TReplyRouter::Enqueue(ClientId id, Client& client, char command, TimePoint at)
{
    if (client.outstanding >= static_cast<int>(kMaxQueuedRequests)) {
        LogClientByte(id, "too many requests, dropped", command);
        return;
    }
    if (IsStateRequest(command))
        ++client.outstanding;
    else
        client.specialQueued = true;   // what follows "c" or "R" waits with it, in time
    queue_.push_back({id, command, at});
}

void TReplyRouter::StartNext(TimePoint now)
{
    if (!lineUp_ || reply_ || phase_ == LinePhase::RoutingWrite || phase_ == LinePhase::Learning ||
        queue_.empty())
        return;
    const auto next = NextInTurn();
    const Request r = *next;
    queue_.erase(next);
    lastServed_ = r.client;
    Client& client = clients_.at(r.client);
    WriteToController(std::string(1, r.command));
    if (IsStateRequest(r.command)) {
        reply_ = Reply{r.client, r.command, 0, now};
        return;
    }
    client.specialQueued = false;
    if (r.command == P::kRoutingWrite) {
        write_ = Write{r.client, 0, now, r.at};
        Log("client " + std::to_string(r.client) + ": routing write started");
        SetPhase(LinePhase::RoutingWrite);
        AdvanceWrite(now);
        return;
    }
    learner_ = r.client;
    Log("client " + std::to_string(r.client) + ": RC-5 learning started");
    SetPhase(LinePhase::Learning);
    std::string pending;
    for (const TimedByte& b : client.special)
        pending += b.byte;
    client.special.clear();
    if (!pending.empty())
        WriteToController(pending);
}

std::deque<TReplyRouter::Request>::iterator TReplyRouter::NextInTurn()
{
    // Clients take turns in the order of their ids, starting after the one served last, so a
    // client that keeps its queue full waits for everybody else's turn in between.
    const auto turn = [this](ClientId client) { return std::make_pair(client <= lastServed_, client); };
    return std::min_element(queue_.begin(), queue_.end(), [&turn](const Request& a, const Request& b) {
        return turn(a.client) < turn(b.client);
    });
}

void TReplyRouter::AdvanceWrite(TimePoint now)
{
    if (phase_ != LinePhase::RoutingWrite)
        return;
    const auto writer = clients_.find(write_.writer);
    while (writer != clients_.end() && !writer->second.special.empty() &&
           write_.routingCharacters < kRoutingCharacters) {
        const TimedByte b = writer->second.special.front();
        // The writer's own gap, counted from when the previous byte really went out.
        const TimePoint due = write_.lastForward + (b.at - write_.lastArrival);
        if (due - write_.lastForward > kWritePauseLimit)
            break;   // the controller gives up before this byte; the pause check below
        if (now < due)
            return;
        if (!P::IsState(b.byte)) {
            // The controller ends the write on any other byte and takes it as a command.
            EndWrite(false, "abandoned by byte " + HexByte(b.byte), now);
            return;
        }
        writer->second.special.pop_front();
        WriteToController(std::string(1, b.byte));
        ++write_.routingCharacters;
        write_.lastForward = now;
        write_.lastArrival = b.at;
    }
    if (now - write_.lastForward >= kWritePauseLimit) {
        if (write_.routingCharacters == kRoutingCharacters)
            EndWrite(true, "ended without '?'", now);
        else
            EndWrite(false, "abandoned after a pause", now);
    }
}

void TReplyRouter::EndWrite(bool stored, const std::string& why, TimePoint now)
{
    const ClientId writerId = write_.writer;
    Log("routing write " + why + " after " + std::to_string(write_.routingCharacters) +
        " routing characters");
    write_ = Write{};
    SetPhase(LinePhase::Normal);
    const auto writer = clients_.find(writerId);
    if (writer != clients_.end()) {
        Client& client = writer->second;
        // Its remaining '0'/'1' would now be output commands for outputs 1 and 2.
        if (!stored)
            client.droppingRoutingDigits = true;
        std::deque<TimedByte> rest;
        rest.swap(client.special);
        for (const TimedByte& b : rest) {
            const auto again = clients_.find(writerId);
            if (again == clients_.end())
                break;
            ClientByte(writerId, again->second, b, now);
        }
    }
    ReleaseHeld(now);
    StartNext(now);
}

void TReplyRouter::EndLearning(TimePoint now)
{
    Log("RC-5 learning ended; waiting for the controller's Reset");
    learner_ = -1;
    SetPhase(LinePhase::AwaitingReset);
    ReleaseHeld(now);
    StartNext(now);
}

void TReplyRouter::ReleaseHeld(TimePoint now)
{
    std::vector<std::tuple<TimePoint, ClientId, char>> bytes;
    for (auto& [id, client] : clients_) {
        for (const TimedByte& b : client.held)
            bytes.emplace_back(b.at, id, b.byte);
        client.held.clear();
    }
    std::stable_sort(bytes.begin(), bytes.end(), [](const auto& a, const auto& b) {
        return std::get<0>(a) < std::get<0>(b);
    });
    for (const auto& [at, id, ch] : bytes) {
        const auto it = clients_.find(id);
        if (it != clients_.end())
            ClientByte(id, it->second, {at, ch}, now);
    }
}

void TReplyRouter::FromController(const std::string& bytes, TimePoint now)
{
    Call([&] {
        for (char ch : bytes)
            ControllerByte(ch, now);
        AdvanceWrite(now);
        StartNext(now);
    });
}

void TReplyRouter::ControllerByte(char ch, TimePoint now)
{
    if (phase_ == LinePhase::Learning) {
        if (clients_.count(learner_))
            Deliver(learner_, ch);
        return;
    }
    if (reply_) {
        reply_->lastByte = now;
        // Replies are made of '0', '1' and '!': the news for everyone comes between replies.
        if (P::ConcernsEveryone(ch)) {
            Broadcast(ch);
            return;
        }
        if (clients_.count(reply_->client))
            Deliver(reply_->client, ch);
        if (reply_->request == P::kOutputStates) {
            if (ch == P::kOutputReplyEnd)
                EndReply(true);
            else
                ++reply_->received;
        } else if (++reply_->received == P::ReplyLength(reply_->request)) {
            EndReply(true);
        }
        return;
    }
    if (P::ConcernsEveryone(ch)) {
        Broadcast(ch);
        return;
    }
    if (phase_ == LinePhase::RoutingWrite && ch == P::kSaved) {
        if (clients_.count(write_.writer))
            Deliver(write_.writer, ch);
        EndWrite(true, "saved", now);
        return;
    }
    const std::string what = "controller byte outside any reply, dropped";
    Log(what + " (" + HexByte(ch) + ")", what);
}

void TReplyRouter::Broadcast(char ch)
{
    for (auto& [id, client] : clients_) {
        if (client.outstanding == 0) {
            Deliver(id, ch);
            continue;
        }
        // A console counts every character into the reply it waits for: keep it for later.
        if (ch == P::kOutputsChanged && client.deferred.find(ch) != std::string::npos)
            continue;
        if (client.deferred.size() >= kMaxDeferredBytes) {
            LogClientByte(id, "too many waiting notices, dropped", ch);
            continue;
        }
        client.deferred += ch;
    }
}

void TReplyRouter::EndReply(bool complete)
{
    const Reply r = *reply_;
    reply_.reset();
    if (complete && phase_ == LinePhase::AwaitingReset)
        SetPhase(LinePhase::Normal);
    const auto it = clients_.find(r.client);
    if (it == clients_.end())
        return;
    Client& client = it->second;
    --client.outstanding;
    sink_.ReplyEnded(r.client, r.request, complete);
    if (client.outstanding == 0 && !client.deferred.empty()) {
        std::string deferred;
        deferred.swap(client.deferred);
        sink_.DeliverToClient(r.client, deferred);
    }
}

void TReplyRouter::Tick(TimePoint now)
{
    Call([&] {
        if (reply_ && now - reply_->lastByte >= kReplyTimeout)
            EndReply(false);
        AdvanceWrite(now);
        StartNext(now);
    });
}

std::optional<TimePoint> TReplyRouter::NextDeadline() const
{
    std::optional<TimePoint> next;
    const auto consider = [&next](TimePoint t) {
        if (!next || t < *next)
            next = t;
    };
    if (reply_)
        consider(reply_->lastByte + kReplyTimeout);
    if (phase_ == LinePhase::RoutingWrite) {
        consider(write_.lastForward + kWritePauseLimit);
        const auto writer = clients_.find(write_.writer);
        if (writer != clients_.end() && !writer->second.special.empty() &&
            write_.routingCharacters < kRoutingCharacters) {
            const TimedByte& b = writer->second.special.front();
            consider(write_.lastForward + (b.at - write_.lastArrival));
        }
    }
    return next;
}

void TReplyRouter::SetLineUp(bool up, TimePoint now)
{
    Call([&] {
        if (up == lineUp_)
            return;
        lineUp_ = up;
        if (!up) {
            Log("controller line down; requests wait for it");
            if (reply_)
                EndReply(false);
            if (phase_ == LinePhase::RoutingWrite)
                EndWrite(false, "cut by the lost line", now);
            return;
        }
        Log("controller line up");
        StartNext(now);
    });
}

void TReplyRouter::SetPhase(LinePhase phase)
{
    if (phase == phase_)
        return;
    phase_ = phase;
    sink_.PhaseChanged(phase);
}

void TReplyRouter::LogClientByte(ClientId id, const std::string& what, char ch)
{
    const std::string kind = "client " + std::to_string(id) + ": " + what;
    Log(kind + " (byte " + HexByte(ch) + ")", kind);
}

void TReplyRouter::Deliver(ClientId id, char ch)
{
    sink_.DeliverToClient(id, std::string(1, ch));
}

}  // namespace hub
