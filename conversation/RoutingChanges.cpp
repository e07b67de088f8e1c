#include "RoutingChanges.h"

namespace Routing {
namespace {

void Count(TRoutingChanges& c, bool held, bool wanted)
{
    if (wanted && !held)
        ++c.added;
    else if (held && !wanted)
        ++c.removed;
}

}  // namespace

TRoutingChanges CountChanges(const TRoutingCells& held, const TRoutingCells& wanted)
{
    TRoutingChanges c;
    for (int k = 1; k <= kInputs; ++k)
        for (int j = 1; j <= kOutputs; ++j)
            Count(c, held.At(k, j), wanted.At(k, j));
    return c;
}

TRoutingChanges CountColumnChanges(const TRoutingCells& held, const TRoutingCells& wanted, int input)
{
    TRoutingChanges c;
    for (int j = 1; j <= kOutputs; ++j)
        Count(c, held.At(input, j), wanted.At(input, j));
    return c;
}

}  // namespace Routing
