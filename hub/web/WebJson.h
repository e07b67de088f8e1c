#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "WebBackend.h"

// The page's messages: the state and the routing table as the hub sends them, and the bodies of
// its commands.
namespace web {

std::string StateMessage(const Snapshot& state);
// Row j is output j, column k input k, '1' where the input switches the output. No table yet
// gives rows null.
std::string RoutingMessage(const std::optional<RoutingTable>& table, bool reading);
// The routing issue's backup file, with the hub's names and device.
std::string BackupFile(const RoutingTable& table, const Snapshot& state);

// {"on": true|false}
std::optional<bool> ParseOutputBody(std::string_view body);
// {"mode": 0..2}
std::optional<int> ParseModeBody(std::string_view body);

}  // namespace web
