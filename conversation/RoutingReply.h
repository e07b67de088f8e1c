#pragma once
#include <QByteArrayView>
#include <optional>

#include "RoutingCells.h"

// The controller's answer to "C": 256 characters, block m for output m, input 16 first inside
// each block, '1' for a connection.
namespace Routing {

constexpr int kReplyLength = kCells;

// Only a whole, clean reply: exactly 256 characters, each '0' or '1'. Anything else is no
// table at all, because cells taken from a damaged reply would be written back as the truth.
std::optional<TRoutingCells> DecodeReplyStrict(QByteArrayView reply);

// As the current-configuration view reads it: any character but '1' is no connection, missing
// characters are no connection, characters past the 256th are ignored.
TRoutingCells DecodeReplyLenient(QByteArrayView reply);

}  // namespace Routing
