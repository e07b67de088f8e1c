#pragma once
#include <array>
#include <optional>
#include <string>

#include "ControllerProtocol.h"
#include "RoutingCells.h"

// What the web page needs from the hub, on the hub's own thread: one state shared with MQTT and
// the consoles, and the same command paths.
namespace web {

using ControllerProtocol::kChannels;

// Why commands cannot run now; the page's banner says it.
enum class Reachability {
    Online,
    LineLost,       // the device is gone or not answering
    Learning,       // RC-5 learning holds the line, then the controller waits for its Reset
    RoutingWrite,   // a console writes the routing table
};

struct Snapshot {
    std::array<std::string, kChannels> inputNames;    // UTF-8, input 1 first
    std::array<std::string, kChannels> outputNames;
    std::array<std::optional<bool>, kChannels> inputs;    // unknown until read
    std::array<std::optional<bool>, kChannels> outputs;
    std::optional<int> mode;                          // index into ControllerProtocol::kModes; unknown at first
    Reachability reachability = Reachability::LineLost;
    std::string device;                               // the controller's port, for the backup file
};

struct RoutingTable {
    Routing::TRoutingCells cells;
    long long readAtMs = 0;   // when the reply came, milliseconds since the epoch
};

class IWebBackend {
public:
    virtual ~IWebBackend() = default;
    virtual Snapshot State() const = 0;
    // As an MQTT set: a command only when the known state differs, then an output read. False
    // when it cannot run (offline, state unknown).
    virtual bool SetOutput(int output, bool on) = 0;   // 1..16
    virtual bool SetMode(int mode) = 0;
    // Asks the controller for its table ("C"); the answer comes through Routing() and a change
    // notice. The caller keeps this to once a minute.
    virtual bool ReadRouting() = 0;
    virtual std::optional<RoutingTable> Routing() const = 0;
};

}  // namespace web
