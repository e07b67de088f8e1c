#include "FaultInjector.h"

#include <cstdio>

#include "LogFormat.h"
#include <cstdlib>

namespace sim {
namespace {

}  // namespace

FaultInjector::FaultInjector(const FaultRates& rates, uint64_t seed) : rates_(rates), rng_(seed)
{
}

bool FaultInjector::Active() const
{
    return rates_.drop > 0 || rates_.garbage > 0 || rates_.shortReplies > 0;
}

bool FaultInjector::Chance(double p)
{
    if (p <= 0)
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p;
}

std::string FaultInjector::Apply(const Emission& e, std::vector<std::string>& events)
{
    std::string bytes = e.bytes;
    if (e.kind == EmissionKind::StateReply && bytes.size() > 1 && Chance(rates_.shortReplies)) {
        // The '!' that closes an output reply still comes: the console resynchronises on it.
        const bool closed = bytes.back() == '!';
        const size_t body = bytes.size() - (closed ? 1 : 0);
        const size_t keep = std::uniform_int_distribution<size_t>(0, body - 1)(rng_);
        bytes = bytes.substr(0, keep) + (closed ? "!" : "");
        events.push_back("fault: reply cut to " + std::to_string(keep) + " of "
            + std::to_string(body) + " characters");
    }
    if (rates_.drop <= 0 && rates_.garbage <= 0)
        return bytes;
    std::string out;
    out.reserve(bytes.size() + 4);
    for (char c : bytes) {
        if (Chance(rates_.garbage)) {
            const auto g = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng_));
            out.push_back(static_cast<char>(g));
            events.push_back("fault: garbage " + Hex(g));
        }
        if (Chance(rates_.drop)) {
            events.push_back("fault: dropped " + Hex(static_cast<uint8_t>(c)));
            continue;
        }
        out.push_back(c);
    }
    return out;
}

bool ParseRate(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !(v >= 0.0 && v <= 1.0))
        return false;
    out = v;
    return true;
}

}  // namespace sim
