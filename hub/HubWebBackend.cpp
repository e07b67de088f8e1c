#include "HubWebBackend.h"

#include "ControllerSession.h"
#include "HubState.h"
#include "RoutingReply.h"

#include <QDateTime>
#include <QDebug>

THubWebBackend::THubWebBackend(THubState& state, TControllerSession& session,
                               hub::ChannelNames names, std::string device, QObject* parent)
    : QObject(parent),
      state_(state),
      session_(session),
      names_(std::move(names)),
      device_(std::move(device))
{
    connect(&state_, &THubState::OutputChanged, this, &THubWebBackend::Changed);
    connect(&state_, &THubState::InputChanged, this, &THubWebBackend::Changed);
    connect(&state_, &THubState::ModeChanged, this, &THubWebBackend::Changed);
    connect(&session_, &TControllerSession::ReplyFinished, this, [this](char request) {
        if (request != ControllerProtocol::kRoutingTable)
            return;
        // Only a whole, clean reply: a damaged one would show connections that are not there.
        const QByteArray& raw = session_.ConfigDumpRaw();
        if (const auto cells = Routing::DecodeReplyStrict(raw))
            routing_ = web::RoutingTable{*cells, QDateTime::currentMSecsSinceEpoch()};
        else
            qInfo() << "routing table for the web page: reply of" << raw.size()
                    << "characters not usable";
        emit RoutingRead();
    });
}

void THubWebBackend::SetReachability(web::Reachability reachability)
{
    if (reachability == reachability_)
        return;
    reachability_ = reachability;
    emit Changed();
}

web::Snapshot THubWebBackend::State() const
{
    web::Snapshot s;
    s.inputNames = names_.inputs;
    s.outputNames = names_.outputs;
    for (int n = 1; n <= web::kChannels; ++n) {
        s.inputs[n - 1] = state_.Input(n);
        s.outputs[n - 1] = state_.Output(n);
    }
    if (const auto mode = state_.Mode())
        s.mode = ControllerProtocol::ModeIndex(*mode);
    s.reachability = reachability_;
    s.device = device_;
    return s;
}

bool THubWebBackend::SetOutput(int output, bool on)
{
    return state_.SetOutput(output, on ? hub::OutputWish::On : hub::OutputWish::Off);
}

bool THubWebBackend::SetMode(int mode)
{
    return state_.SetMode(ControllerProtocol::kModes.at(static_cast<std::size_t>(mode)));
}

bool THubWebBackend::ReadRouting()
{
    if (!state_.Available())
        return false;
    session_.BeginConfigDump();
    return true;
}

std::optional<web::RoutingTable> THubWebBackend::Routing() const
{
    return routing_;
}
