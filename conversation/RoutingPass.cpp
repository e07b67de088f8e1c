#include "RoutingPass.h"

#include "RoutingCells.h"

#include <thread>

namespace Routing {

PassClock::time_point SteadyNow()
{
    return PassClock::now();
}

void SleepUntilDeadline(PassClock::time_point deadline)
{
    // sleep_until may wake early on some platforms; loop until the deadline really passed.
    while (PassClock::now() < deadline)
        std::this_thread::sleep_until(deadline);
}

void RunRoutingPass(const RoutingPassIo& io, const TRoutingPacing& pacing)
{
    io.write(std::string(1, ControllerProtocol::kRoutingWrite));
    PassClock::time_point due = io.now() + pacing.afterStart + pacing.margin;
    if (io.progress)
        io.progress(0);

    for (int p = 0; p < kCells; ++p) {
        io.sleepUntil(due);
        const bool on = io.checked(InputOfPosition(p), OutputOfPosition(p));
        io.write(std::string(1, on ? ControllerProtocol::kOn : ControllerProtocol::kOff));
        // Measured before the progress repaint, whose cost the pause then absorbs.
        due = io.now() + pacing.afterCell + pacing.margin;
        if (io.progress)
            io.progress(p + 1);
    }
    io.sleepUntil(due);
}

}  // namespace Routing
