#include "ComTypes.h"

#include "ComDevice.h"

namespace {
struct EventBit {
    TComEvent event;
    std::uint32_t bit;
};
constexpr EventBit kEventBits[] = {
    {evRxChar, ComEv::RxChar}, {evRxFlag, ComEv::RxFlag}, {evTxEmpty, ComEv::TxEmpty},
    {evCTS, ComEv::Cts},       {evDSR, ComEv::Dsr},       {evRLSD, ComEv::Rlsd},
    {evBreak, ComEv::Break},   {evError, ComEv::Err},     {evRing, ComEv::Ring},
    {evRx80Full, ComEv::Rx80Full},
};
}  // namespace

std::uint32_t EventsToMask(TComEvents events)
{
    std::uint32_t mask = 0;
    for (const auto& e : kEventBits)
        if (events.Contains(e.event))
            mask |= e.bit;
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask)
{
    TComEvents events;
    for (const auto& e : kEventBits)
        if (mask & e.bit)
            events.Include(e.event);
    return events;
}
