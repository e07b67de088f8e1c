#include "RoutingReply.h"

namespace Routing {

std::optional<TRoutingCells> DecodeReplyStrict(QByteArrayView reply)
{
    if (reply.size() != kReplyLength)
        return std::nullopt;
    for (char ch : reply)
        if (!ControllerProtocol::IsState(ch))
            return std::nullopt;
    return DecodeReplyLenient(reply);
}

TRoutingCells DecodeReplyLenient(QByteArrayView reply)
{
    TRoutingCells cells;
    for (int j = 1; j <= kOutputs; ++j)
        for (int k = 1; k <= kInputs; ++k) {
            const int p = ReplyPosition(k, j);
            cells.Set(k, j, p < reply.size() && reply[p] == ControllerProtocol::kOn);
        }
    return cells;
}

}  // namespace Routing
