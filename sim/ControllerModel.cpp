#include "ControllerModel.h"

namespace sim {

char ModeChar(Mode m)
{
    switch (m) {
    case Mode::EqualInputs: return ']';
    case Mode::RemoteFirst: return '}';
    case Mode::RemoteOnly: return '[';
    }
    return ']';
}

const char* ModeName(Mode m)
{
    switch (m) {
    case Mode::EqualInputs: return "Wejścia równorzędne";
    case Mode::RemoteFirst: return "Pilot i komputer nadrzędne";
    case Mode::RemoteOnly: return "Tylko pilot i komputer";
    }
    return "";
}

int OutputForCommand(uint8_t byte)
{
    if (byte >= '0' && byte <= '9')
        return byte - '0' + 1;
    switch (byte) {
    case '=': return 11;
    case 'a': return 12;
    case 's': return 13;
    case 'd': return 14;
    case 'f': return 15;
    case 'g': return 16;
    default: return 0;
    }
}

bool ControllerModel::Output(int j) const
{
    return Valid(j) && outputs_[j - 1];
}

void ControllerModel::SetOutput(int j, bool on)
{
    if (Valid(j))
        outputs_[j - 1] = on;
}

void ControllerModel::ToggleOutput(int j)
{
    if (Valid(j))
        outputs_[j - 1] = !outputs_[j - 1];
}

void ControllerModel::AllOutputsOff()
{
    outputs_.fill(false);
}

bool ControllerModel::Input(int k) const
{
    return Valid(k) && inputs_[k - 1];
}

uint16_t ControllerModel::SetInput(int k, bool active)
{
    if (!Valid(k))
        return 0;
    const bool rising = active && !inputs_[k - 1];
    inputs_[k - 1] = active;
    if (!rising || mode_ == Mode::RemoteOnly)
        return 0;
    uint16_t toggled = 0;
    for (int j = 1; j <= kChannels; ++j) {
        if (route_[k - 1][j - 1]) {
            outputs_[j - 1] = !outputs_[j - 1];
            toggled |= static_cast<uint16_t>(1u << (j - 1));
        }
    }
    return toggled;
}

Mode ControllerModel::NextMode()
{
    mode_ = static_cast<Mode>((static_cast<int>(mode_) + 1) % 3);
    return mode_;
}

bool ControllerModel::Routes(int k, int j) const
{
    return Valid(k) && Valid(j) && route_[k - 1][j - 1];
}

void ControllerModel::SetRoute(int k, int j, bool on)
{
    if (Valid(k) && Valid(j))
        route_[k - 1][j - 1] = on;
}

std::string ControllerModel::OutputReply() const
{
    std::string s;
    for (bool on : outputs_)
        s.push_back(on ? '1' : '0');
    s.push_back('!');
    return s;
}

std::string ControllerModel::InputReply() const
{
    std::string s;
    for (bool on : inputs_)
        s.push_back(on ? '1' : '0');
    return s;
}

std::string ControllerModel::RoutingDump() const
{
    std::string s;
    s.reserve(kRoutingCells);
    for (int j = 1; j <= kChannels; ++j)
        for (int k = kChannels; k >= 1; --k)
            s.push_back(route_[k - 1][j - 1] ? '1' : '0');
    return s;
}

bool ControllerModel::StoreRouting(std::string_view written)
{
    if (written.size() != static_cast<size_t>(kRoutingCells))
        return false;
    for (char c : written)
        if (c != '0' && c != '1')
            return false;
    for (int p = 0; p < kRoutingCells; ++p)
        route_[p % kChannels][p / kChannels] = written[static_cast<size_t>(p)] == '1';
    return true;
}

std::string ControllerModel::RoutingInWriteOrder() const
{
    std::string s;
    s.reserve(kRoutingCells);
    for (int p = 0; p < kRoutingCells; ++p)
        s.push_back(route_[p % kChannels][p / kChannels] ? '1' : '0');
    return s;
}

}  // namespace sim
