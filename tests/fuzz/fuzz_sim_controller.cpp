// The simulated controller on whatever a console sends it: every reply keeps its shape.
#include "Controller.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    sim::ControllerTiming timing;
    timing.saveDelayUs = 1000;
    timing.learningStepUs = 1000;
    sim::Controller controller(timing);
    int64_t now = 1'000'000;
    for (std::size_t i = 0; i < size; ++i) {
        // A byte with the top bits 111 is a pause; anything else is received.
        if ((data[i] & 0xe0) == 0xe0 && i + 1 < size) {
            now += int64_t(data[++i]) * 1000 * 50;
            controller.Tick(now);
        } else {
            controller.Receive(data[i], now);
        }
        now += 1042;
        for (const sim::Emission& e : controller.TakeEmissions()) {
            if (e.kind != sim::EmissionKind::StateReply)
                continue;
            const std::size_t n = e.bytes.size();
            // 16 inputs; 16 outputs and '!'; 256 routing cells.
            if (n != 16 && n != 17 && n != 256)
                std::abort();
            for (std::size_t k = 0; k < n; ++k) {
                const char c = e.bytes[k];
                if (!(c == '0' || c == '1' || (n == 17 && k == 16 && c == '!')))
                    std::abort();
            }
        }
        controller.TakeEvents();
    }
    return 0;
}
