// The simulator's control channel: lines as an operator or a script types them, through the
// reader and the sequencer, carried out on the controller.
#include "ControlCommand.h"
#include "ControlSequencer.h"
#include "Controller.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool SameCommand(const sim::ControlCommand& a, const sim::ControlCommand& b)
{
    return a.kind == b.kind && a.channel == b.channel && a.on == b.on && a.ms == b.ms
        && a.bytes == b.bytes && a.text == b.text;
}

void Check(const sim::ControlCommand& c)
{
    using K = sim::ControlCommand::Kind;
    if ((c.kind == K::Input || c.kind == K::Press || c.kind == K::Remote)
        && (c.channel < 1 || c.channel > 16))
        std::abort();
    if (c.ms < 0 || c.ms > sim::kMaxCommandMs)
        std::abort();
    if (c.kind == K::Send && c.bytes.empty())
        std::abort();
}

void Carry(sim::Controller& controller, const sim::ControlCommand& c, int64_t now)
{
    using K = sim::ControlCommand::Kind;
    switch (c.kind) {
    case K::Input: controller.SetInput(c.channel, c.on, now); break;
    case K::Mode: controller.PressModeButton(now); break;
    case K::Remote: controller.RemoteToggle(c.channel, now); break;
    case K::Reset: controller.PressReset(now); break;
    case K::Silent: controller.SetSilent(c.on); break;
    case K::Send: controller.Inject(c.bytes); break;
    default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::ControlSequencer sequencer;
    sim::Controller controller;
    int64_t now = 1'000'000;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;

        sim::ControlCommand cmd;
        std::string error;
        if (!sim::ParseControlLine(line, cmd, error)) {
            if (error.empty())
                std::abort();   // a refused line always says why
            continue;
        }
        Check(cmd);
        // What the reader logs must read back as the same command.
        sim::ControlCommand again;
        std::string error2;
        if (!sim::ParseControlLine(cmd.text, again, error2) || !SameCommand(cmd, again))
            std::abort();
        sequencer.Push(cmd);
        while (auto next = sequencer.Next(now)) {
            Check(*next);
            Carry(controller, *next, now);
        }
        // Let time run to the next wait's end, as the event loop does.
        if (auto deadline = sequencer.Deadline(); deadline && *deadline > now)
            now = std::min<int64_t>(*deadline, now + 3'600'000'000LL);
        controller.Tick(now);
        controller.TakeEmissions();
        controller.TakeEvents();
    }
    return 0;
}
