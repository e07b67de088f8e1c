#pragma once
#include <optional>
#include <string>

// The retained record a hub keeps at selvora/ID/hub: what runs there, and which instance it is.
// Two hubs given the same id tell each other apart by it.
namespace hub {

struct HubRecord {
    enum class State { Starting, Serving, Stopped };
    std::string instance;   // random, one per process
    std::string started;    // ISO 8601, UTC, with milliseconds
    std::string version;
    std::string device;
    bool lineUp = false;
    State state = State::Starting;
};

std::string HubRecordJson(const HubRecord& record);
// Nothing for a payload that is not such a record. Text fields are cut and cleaned of control
// characters, since anyone on the broker may write there.
std::optional<HubRecord> ParseHubRecord(const std::string& payload);

}  // namespace hub
