#include "HubState.h"

#include "ErrorReport.h"
#include "HubPoller.h"

#include <QDebug>
#include <QTimer>

namespace {

// The controller's output commands, output 1 first; each one toggles its output.
constexpr char kOutputCommands[] = "0123456789=asdfg";

const char* OnOff(bool on)
{
    return on ? "ON" : "OFF";
}

}  // namespace

THubState::THubState(THubPoller& poller, QObject* parent) : QObject(parent), poller_(poller)
{
    modeTimeout_ = new QTimer(this);
    modeTimeout_->setSingleShot(true);
    modeTimeout_->setInterval(kModeStepTimeoutMs);
    connect(modeTimeout_, &QTimer::timeout, this, [this] {
        qInfo() << "mode change: no mode character came; given up";
        modeTarget_.reset();
    });
    // Every handler's entry: a failure is reported and goes no further.
    connect(&poller_, &THubPoller::OutputChanged, this,
            [this](int output, bool on) { ErrorReport::Guard([&] { OutputRead(output, on); }); });
    connect(&poller_, &THubPoller::InputChanged, this,
            [this](int input, bool on) { ErrorReport::Guard([&] { InputRead(input, on); }); });
    connect(&poller_, &THubPoller::ModeSeen, this,
            [this](int mode) { ErrorReport::Guard([&] { ModeSeen(mode); }); });
    connect(&poller_, &THubPoller::ReplyAnswered, this,
            [this](char request) { ErrorReport::Guard([&] { ReplyAnswered(request); }); });
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
    wishes_[output] = {on, poller_.OutputReadsIssued(), false};
    poller_.SendCommand(kOutputCommands[output - 1]);
    poller_.ReadOutputsNow();
    return true;
}

void THubState::ReplyAnswered(char request)
{
    if (request != 'x')
        return;
    for (auto it = wishes_.begin(); it != wishes_.end();) {
        const int output = it->first;
        OutputWishState& wish = it->second;
        if (poller_.OutputReadsIssued() <= wish.readsBefore) {
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
        wish.readsBefore = poller_.OutputReadsIssued();
        poller_.SendCommand(kOutputCommands[output - 1]);
        poller_.ReadOutputsNow();
        ++it;
    }
}

bool THubState::SetMode(int mode)
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
    poller_.SendCommand('Q');
    modeTimeout_->start();
}

void THubState::ModeSeen(int mode)
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
