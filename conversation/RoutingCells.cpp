#include "RoutingCells.h"

#include <stdexcept>

namespace Routing {
namespace {

int CheckedPosition(int input, int output)
{
    if (input < 1 || input > kInputs || output < 1 || output > kOutputs)
        throw std::out_of_range("routing cell out of range");
    return CellPosition(input, output);
}

}  // namespace

bool TRoutingCells::At(int input, int output) const
{
    return bits_.test(static_cast<size_t>(CheckedPosition(input, output)));
}

void TRoutingCells::Set(int input, int output, bool on)
{
    bits_.set(static_cast<size_t>(CheckedPosition(input, output)), on);
}

std::string TRoutingCells::WireText() const
{
    std::string text(kCells, ControllerProtocol::kOff);
    for (int p = 0; p < kCells; ++p)
        if (bits_.test(static_cast<size_t>(p)))
            text[static_cast<size_t>(p)] = ControllerProtocol::kOn;
    return text;
}

}  // namespace Routing
