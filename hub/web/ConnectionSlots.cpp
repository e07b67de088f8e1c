#include "ConnectionSlots.h"

namespace web {

TConnectionSlots::TConnectionSlots(int total, int perAddress)
    : total_(total), perAddress_(perAddress)
{
}

// The longest-waiting reader of `address`, or of whichever address holds the most connections.
std::optional<TConnectionSlots::Id> TConnectionSlots::Victim(const std::string* address) const
{
    std::optional<Id> victim;
    int victimLoad = 0;
    SlotClock::time_point victimSince;
    for (const auto& [id, slot] : slots_) {
        if (!slot.reading || (address && slot.address != *address))
            continue;
        const int load = perAddressCount_.at(slot.address);
        if (!victim || load > victimLoad || (load == victimLoad && slot.since < victimSince)) {
            victim = id;
            victimLoad = load;
            victimSince = slot.since;
        }
    }
    return victim;
}

TConnectionSlots::Admission TConnectionSlots::Admit(const std::string& address,
                                                    SlotClock::time_point now)
{
    const auto held = perAddressCount_.find(address);
    const bool addressFull = held != perAddressCount_.end() && held->second >= perAddress_;
    Admission admission;
    if (addressFull || Count() >= total_) {
        admission.evict = Victim(addressFull ? &address : nullptr);
        if (!admission.evict)
            return admission;
        Release(*admission.evict);
    }
    const Id id = next_++;
    slots_[id] = Slot{address, true, now};
    ++perAddressCount_[address];
    admission.id = id;
    return admission;
}

void TConnectionSlots::Reading(Id id, SlotClock::time_point now)
{
    const auto it = slots_.find(id);
    if (it == slots_.end())
        return;
    it->second.reading = true;
    it->second.since = now;
}

void TConnectionSlots::Answering(Id id)
{
    const auto it = slots_.find(id);
    if (it != slots_.end())
        it->second.reading = false;
}

void TConnectionSlots::Release(Id id)
{
    const auto it = slots_.find(id);
    if (it == slots_.end())
        return;
    const auto count = perAddressCount_.find(it->second.address);
    if (--count->second == 0)
        perAddressCount_.erase(count);
    slots_.erase(it);
}

}  // namespace web
