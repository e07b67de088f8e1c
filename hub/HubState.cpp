#include "HubState.h"

#include "ControllerSession.h"
#include "ErrorReport.h"

#include <QDebug>
#include <QTimer>

namespace {

const char* OnOff(bool on)
{
    return on ? "ON" : "OFF";
}

}  // namespace

namespace P = ControllerProtocol;

THubState::THubState(TControllerSession& session, QObject* parent) : QObject(parent), session_(session)
{
    modeTimeout_ = new QTimer(this);
    modeTimeout_->setSingleShot(true);
    modeTimeout_->setInterval(kModeStepTimeoutMs);
    connect(modeTimeout_, &QTimer::timeout, this, [this] {
        qInfo() << "mode change: no mode character came; given up";
        modeTarget_.reset();
    });
    // Every handler's entry: a failure is reported and goes no further.
    connect(&session_, &TControllerSession::OutputStateChanged, this,
            [this](int output, bool on) { ErrorReport::Guard([&] { OutputRead(output, on); }); });
    connect(&session_, &TControllerSession::InputStateChanged, this,
            [this](int input, bool on) { ErrorReport::Guard([&] { InputRead(input, on); }); });
    connect(&session_, &TControllerSession::ModeAnnounced, this,
            [this](P::Mode mode) { ErrorReport::Guard([&] { ModeSeen(mode); }); });
    connect(&session_, &TControllerSession::ReplyFinished, this, [this](char request, bool complete) {
        if (complete)
            ErrorReport::Guard([&] { ReplyAnswered(request); });
    });
}

void THubState::SetAvailable(bool available)
{
    if (available == available_)
        return;
    available_ = available;
    if (!available) {
        wishes_.clear();
        modeTarget_.reset();
        modeTimeout_->stop();
    }
    emit AvailabilityChanged(available);
}

bool THubState::SetOutput(int output, hub::OutputWish wish)
{
    if (!available_) {
        qInfo() << "output" << output << ": dropped, the controller is offline";
        return false;
    }
    const std::optional<bool> known = outputs_[output - 1];
    if (!known) {
        qInfo() << "output" << output << ": state not known yet, command dropped";
        return false;
    }
    // A command still on its way counts as done: the commands toggle.
    const auto pending = wishes_.find(output);
    const bool expected = pending != wishes_.end() ? pending->second.on : *known;
    const bool on = wish == hub::OutputWish::Toggle ? !expected : wish == hub::OutputWish::On;
    if (on == expected)
        return true;
    wishes_[output] = {on, session_.OutputReadsIssued(), false};
    ToggleOutput(output);
    return true;
}

// The command, then an output read as soon as the line is free.
void THubState::ToggleOutput(int output)
{
    session_.WriteCommand(std::string(1, ControllerProtocol::OutputCommand(output)));
    session_.RequestOutputs();
}

void THubState::ReplyAnswered(char request)
{
    if (request != ControllerProtocol::kOutputStates)
        return;
    for (auto it = wishes_.begin(); it != wishes_.end();) {
        const int output = it->first;
        OutputWishState& wish = it->second;
        if (session_.OutputReadsIssued() <= wish.readsBefore) {
            ++it;   // that read was under way before the command
            continue;
        }
        if (outputs_[output - 1] == wish.on || wish.retried) {
            if (outputs_[output - 1] != wish.on)
                qInfo() << "output" << output << ": still not" << OnOff(wish.on) << "after a retry";
            it = wishes_.erase(it);
            continue;
        }
        // The state we toggled from was a cycle old: one more toggle.
        wish.retried = true;
        wish.readsBefore = session_.OutputReadsIssued();
        ToggleOutput(output);
        ++it;
    }
}

bool THubState::SetMode(P::Mode mode)
{
    if (!available_) {
        qInfo() << "mode: dropped, the controller is offline";
        return false;
    }
    if (mode_ == mode && !modeTarget_)
        return true;
    const bool stepping = modeTarget_.has_value();
    modeTarget_ = mode;
    if (!stepping) {
        modeSteps_ = 0;
        StepMode();
    }
    return true;
}

void THubState::StepMode()
{
    ++modeSteps_;
    session_.WriteCommand(std::string(1, ControllerProtocol::kNextMode));
    modeTimeout_->start();
}

void THubState::ModeSeen(P::Mode mode)
{
    if (mode_ != mode) {
        mode_ = mode;
        emit ModeChanged(mode);
    }
    if (!modeTarget_)
        return;
    modeTimeout_->stop();
    if (*modeTarget_ == mode) {
        modeTarget_.reset();
        return;
    }
    if (modeSteps_ >= kMostModeSteps) {
        qInfo() << "mode change: target not reached after" << modeSteps_ << "steps";
        modeTarget_.reset();
        return;
    }
    StepMode();
}

// Every read reports all sixteen; only a change is news.
void THubState::OutputRead(int output, bool on)
{
    if (outputs_[output - 1] == on)
        return;
    outputs_[output - 1] = on;
    emit OutputChanged(output, on);
}

void THubState::InputRead(int input, bool active)
{
    if (inputs_[input - 1] == active)
        return;
    inputs_[input - 1] = active;
    emit InputChanged(input, active);
}
