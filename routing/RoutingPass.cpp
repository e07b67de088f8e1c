#include "RoutingPass.h"

#include "RoutingTable.h"

#include <algorithm>
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

PassClock::time_point NextWriteDue(PassClock::time_point planned, PassClock::time_point writeEnd,
                                   std::chrono::milliseconds interval,
                                   std::chrono::milliseconds maxCatchUp)
{
    return std::max(planned + interval, writeEnd + interval - maxCatchUp);
}

void RunRoutingPass(const RoutingPassIo& io, const TRoutingPacing& pacing)
{
    PassClock::time_point planned = io.now();
    io.write("c");
    PassClock::time_point due = NextWriteDue(planned, io.now(), pacing.afterStart, pacing.maxCatchUp);
    if (io.progress)
        io.progress(0);

    for (int p = 0; p < kCells; ++p) {
        io.sleepUntil(due);
        planned = due;
        const bool on = io.checked(InputOfPosition(p), OutputOfPosition(p));
        io.write(on ? "1" : "0");
        // Measured before the progress repaint, whose cost the wait then absorbs.
        due = NextWriteDue(planned, io.now(), pacing.afterCell, pacing.maxCatchUp);
        if (io.progress)
            io.progress(p + 1);
    }
    io.sleepUntil(due);
}

}  // namespace Routing
