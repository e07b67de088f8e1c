// The simulated controller under arbitrary line traffic and control events: it must never
// wedge, never send a reply that breaks the protocol's shapes, and never hold on to memory.
#include "Controller.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool AllStates(const std::string& s, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        if (s[i] != '0' && s[i] != '1')
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    sim::ControllerTiming timing;
    timing.saveDelayUs = 5000;
    timing.writeTimeoutUs = 50000;
    timing.learningStepUs = 2000;
    sim::Controller c(timing);
    int64_t now = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const std::uint8_t op = data[i];
        const std::uint8_t arg = data[i + 1];
        switch (op % 8) {
        case 0: case 1: case 2: case 3:
            c.Receive(arg, now);
            break;
        case 4:
            now += arg * 1000;
            c.Tick(now);
            break;
        case 5:
            c.SetInput(arg % 18, arg & 0x80, now);
            break;
        case 6:
            switch (arg % 5) {
            case 0: c.PressModeButton(now); break;
            case 1: c.RemoteToggle(arg / 5 % 18, now); break;
            case 2: c.PressReset(now); break;
            case 3: c.PeerClosed(now); break;
            default: c.SetSilent(arg & 0x80); break;
            }
            break;
        default:
            now += arg;
            c.Receive(arg, now);
            break;
        }
        for (const sim::Emission& e : c.TakeEmissions()) {
            Check(!e.bytes.empty() && e.bytes.size() < 4096);
            if (e.kind == sim::EmissionKind::StateReply) {
                const std::string& s = e.bytes;
                const bool x = s.size() == 17 && s.back() == '!' && AllStates(s, 0, 16);
                const bool q = s.size() == 16 && AllStates(s, 0, 16);
                const bool dump = s.size() == 256 && AllStates(s, 0, 256);
                Check(x || q || dump);
            }
        }
        c.TakeEvents();
        if (auto d = c.NextDeadline())
            Check(*d >= now - 60000);   // nothing waits on a time long gone
    }
    // Whatever happened, a reset and a quiet spell bring back a controller that answers.
    c.SetSilent(false);
    c.PressReset(now);
    now += 100000;
    c.Tick(now);
    c.TakeEmissions();
    c.Receive('x', now);
    const auto out = c.TakeEmissions();
    Check(out.size() == 1 && out[0].bytes == std::string(16, '0') + "!");
    return 0;
}
