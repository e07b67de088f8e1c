#include "StateCodec.h"

#include <map>

namespace sim {
namespace {

constexpr std::string_view kMagic = "selvora-sim-state 1";

bool Bits(std::string_view s, size_t n)
{
    if (s.size() != n)
        return false;
    for (char c : s)
        if (c != '0' && c != '1')
            return false;
    return true;
}

}  // namespace

std::string EncodeState(const ControllerModel& m)
{
    std::string s(kMagic);
    s += "\nmode " + std::to_string(static_cast<int>(m.GetMode()));
    std::string outputs;
    for (int j = 1; j <= ControllerModel::kChannels; ++j)
        outputs.push_back(m.Output(j) ? '1' : '0');
    s += "\noutputs " + outputs;
    s += "\nrouting " + m.RoutingInWriteOrder() + "\n";
    return s;
}

bool DecodeState(std::string_view text, ControllerModel& m, std::string& error)
{
    std::map<std::string, std::string> fields;
    bool first = true;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            if (line != kMagic) {
                error = "not a simulator state file";
                return false;
            }
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        const size_t sp = line.find(' ');
        if (sp == std::string_view::npos) {
            error = "malformed line";
            return false;
        }
        fields[std::string(line.substr(0, sp))] = std::string(line.substr(sp + 1));
    }
    if (first) {
        error = "empty state file";
        return false;
    }
    const auto mode = fields.find("mode");
    const auto outputs = fields.find("outputs");
    const auto routing = fields.find("routing");
    if (mode == fields.end() || (mode->second != "0" && mode->second != "1" && mode->second != "2")) {
        error = "bad or missing mode";
        return false;
    }
    if (outputs == fields.end() || !Bits(outputs->second, ControllerModel::kChannels)) {
        error = "bad or missing outputs";
        return false;
    }
    if (routing == fields.end() || !Bits(routing->second, ControllerModel::kRoutingCells)) {
        error = "bad or missing routing";
        return false;
    }
    m.SetMode(static_cast<Mode>(mode->second[0] - '0'));
    for (int j = 1; j <= ControllerModel::kChannels; ++j)
        m.SetOutput(j, outputs->second[static_cast<size_t>(j - 1)] == '1');
    m.StoreRouting(routing->second);
    return true;
}

}  // namespace sim
