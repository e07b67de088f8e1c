#include "Controller.h"

#include <cstdio>

#include "LogFormat.h"

namespace sim {
namespace {

std::string OutputList(uint16_t mask)
{
    std::string s;
    for (int j = 1; j <= ControllerModel::kChannels; ++j) {
        if (mask & (1u << (j - 1))) {
            if (!s.empty())
                s += ',';
            s += std::to_string(j);
        }
    }
    return s;
}

}  // namespace

Controller::Controller(const ControllerTiming& timing)
    : timing_(timing), learning_(timing.learningStepUs)
{
}

void Controller::Receive(uint8_t byte, int64_t now)
{
    // A pause that ran out before this byte arrived ends the write first.
    Tick(now);
    switch (reader_) {
    case Reader::Commands:
        Command(byte, now);
        break;
    case Reader::RoutingWrite:
        WriteByte(byte, now);
        break;
    case Reader::Learning:
        Emit(EmissionKind::Dialogue, learning_.Key(byte, now));
        AfterLearningText(now);
        break;
    case Reader::AwaitingReset:
        Event("ignored " + Hex(byte) + " (waiting for reset)");
        break;
    }
}

void Controller::Command(uint8_t byte, int64_t now)
{
    if (const int j = OutputForCommand(byte)) {
        model_.ToggleOutput(j);
        stateChanged_ = true;
        Event("output " + std::to_string(j) + (model_.Output(j) ? " on" : " off"));
        return;
    }
    switch (byte) {
    case 'x':
        Emit(EmissionKind::StateReply, model_.OutputReply());
        break;
    case 'q':
        Emit(EmissionKind::StateReply, model_.InputReply());
        break;
    case 'C':
        Emit(EmissionKind::StateReply, model_.RoutingDump());
        break;
    case 'Q': {
        const Mode m = model_.NextMode();
        stateChanged_ = true;
        Event(std::string("mode ") + ModeChar(m) + " " + ModeName(m));
        Emit(EmissionKind::Acknowledge, std::string(1, ModeChar(m)));
        break;
    }
    case 'c':
        reader_ = Reader::RoutingWrite;
        written_.clear();
        lastWriteByteUs_ = now;
        Event("routing write started");
        break;
    case 'R':
        reader_ = Reader::Learning;
        Event("learning started");
        Emit(EmissionKind::Dialogue, learning_.Start(now));
        break;
    default:
        Event("ignored " + Hex(byte) + " (not a command)");
        break;
    }
}

void Controller::WriteByte(uint8_t byte, int64_t now)
{
    if (byte != '0' && byte != '1') {
        AbandonWrite("byte " + Hex(byte) + " after " + std::to_string(written_.size())
            + " routing characters");
        // The stray byte is the start of whatever comes next.
        Command(byte, now);
        return;
    }
    written_.push_back(static_cast<char>(byte));
    lastWriteByteUs_ = now;
    if (written_.size() < static_cast<size_t>(ControllerModel::kRoutingCells))
        return;
    model_.StoreRouting(written_);
    written_.clear();
    reader_ = Reader::Commands;
    stateChanged_ = true;
    saveDoneUs_ = now + timing_.saveDelayUs;
    Event("routing write stored");
}

void Controller::AbandonWrite(const std::string& why)
{
    written_.clear();
    reader_ = Reader::Commands;
    Event("routing write abandoned: " + why + "; nothing stored");
}

void Controller::Tick(int64_t now)
{
    if (reader_ == Reader::RoutingWrite && now - lastWriteByteUs_ > timing_.writeTimeoutUs) {
        AbandonWrite("pause of more than " + std::to_string(timing_.writeTimeoutUs / 1000)
            + " ms after " + std::to_string(written_.size()) + " routing characters");
    }
    if (saveDoneUs_ && now >= *saveDoneUs_) {
        saveDoneUs_.reset();
        Event("routing saved");
        Emit(EmissionKind::Acknowledge, "?");
    }
    if (reader_ == Reader::Learning) {
        Emit(EmissionKind::Dialogue, learning_.Tick(now));
        AfterLearningText(now);
    }
}

void Controller::AfterLearningText(int64_t now)
{
    (void)now;
    if (learning_.Finished()) {
        reader_ = Reader::AwaitingReset;
        int learned = 0;
        for (int j = 1; j <= LearningDialogue::kOutputs; ++j)
            learned += learning_.Code(j) != LearningDialogue::kNoCode ? 1 : 0;
        Event("learning finished, " + std::to_string(learned) + " codes; waiting for reset");
    }
}

std::optional<int64_t> Controller::NextDeadline() const
{
    std::optional<int64_t> d;
    auto consider = [&d](int64_t t) {
        if (!d || t < *d)
            d = t;
    };
    if (reader_ == Reader::RoutingWrite)
        consider(lastWriteByteUs_ + timing_.writeTimeoutUs + 1);
    if (saveDoneUs_)
        consider(*saveDoneUs_);
    if (reader_ == Reader::Learning)
        if (auto t = learning_.Deadline())
            consider(*t);
    return d;
}

void Controller::SetInput(int k, bool active, int64_t now)
{
    (void)now;
    if (k < 1 || k > ControllerModel::kChannels)
        return;
    if (model_.Input(k) == active)
        return;
    const uint16_t toggled = model_.SetInput(k, active);
    std::string text = "input " + std::to_string(k) + (active ? " on" : " off");
    if (toggled) {
        stateChanged_ = true;
        text += ", toggled outputs " + OutputList(toggled);
    }
    Event(text);
    if (toggled)
        Emit(EmissionKind::Notice, "/");
}

void Controller::PressModeButton(int64_t now)
{
    (void)now;
    const Mode m = model_.NextMode();
    stateChanged_ = true;
    Event(std::string("mode button: ") + ModeChar(m) + " " + ModeName(m));
    Emit(EmissionKind::Acknowledge, std::string(1, ModeChar(m)));
}

void Controller::RemoteToggle(int j, int64_t now)
{
    (void)now;
    if (j < 1 || j > ControllerModel::kChannels)
        return;
    model_.ToggleOutput(j);
    stateChanged_ = true;
    Event("remote: output " + std::to_string(j) + (model_.Output(j) ? " on" : " off"));
    Emit(EmissionKind::Notice, "/");
}

void Controller::PressReset(int64_t now)
{
    (void)now;
    // A reset restarts the controller: relays drop, the stored table and mode remain.
    learning_.Reset();
    written_.clear();
    saveDoneUs_.reset();
    reader_ = Reader::Commands;
    model_.AllOutputsOff();
    stateChanged_ = true;
    Event("reset");
}

void Controller::PeerClosed(int64_t now)
{
    if (reader_ == Reader::Learning || reader_ == Reader::AwaitingReset)
        PressReset(now);
}

void Controller::SetSilent(bool silent)
{
    silent_ = silent;
    Event(silent ? "silent on" : "silent off");
}

void Controller::Inject(const std::string& bytes)
{
    if (bytes.empty())
        return;
    Event("send " + std::to_string(bytes.size()) + " bytes");
    Emit(EmissionKind::Injected, bytes);
}

void Controller::Emit(EmissionKind kind, std::string bytes)
{
    if (bytes.empty())
        return;
    if (silent_) {
        Event("silent: " + std::to_string(bytes.size()) + " bytes not sent");
        return;
    }
    emissions_.push_back({kind, std::move(bytes)});
}

void Controller::Event(std::string text)
{
    events_.push_back(std::move(text));
}

std::vector<Emission> Controller::TakeEmissions()
{
    std::vector<Emission> out;
    out.swap(emissions_);
    return out;
}

std::vector<std::string> Controller::TakeEvents()
{
    std::vector<std::string> out;
    out.swap(events_);
    return out;
}

bool Controller::TakeStateChanged()
{
    const bool changed = stateChanged_;
    stateChanged_ = false;
    return changed;
}

}  // namespace sim
