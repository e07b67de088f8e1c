#pragma once
#include "RoutingCells.h"

// What writing `wanted` would do to the table the controller holds.
namespace Routing {

struct TRoutingChanges {
    int added = 0;     // connections the controller does not hold yet
    int removed = 0;   // connections the controller holds and would lose
    bool None() const { return added == 0 && removed == 0; }
};

TRoutingChanges CountChanges(const TRoutingCells& held, const TRoutingCells& wanted);
// The same, for the column of one input (1..16).
TRoutingChanges CountColumnChanges(const TRoutingCells& held, const TRoutingCells& wanted, int input);

}  // namespace Routing
