#pragma once
#include "Controller.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sim {

struct FaultRates {
    double drop = 0;           // each byte is lost with this probability
    double garbage = 0;        // a random byte is put in front of each byte with this probability
    double shortReplies = 0;   // a state reply is cut short with this probability
};

// Spoils what the controller sends, for reliability tests. Deterministic for a given seed.
class FaultInjector {
public:
    FaultInjector(const FaultRates& rates, uint64_t seed);

    bool Active() const;
    // The bytes that go on the wire for `e`; `events` gets a text for every fault applied.
    std::string Apply(const Emission& e, std::vector<std::string>& events);

private:
    bool Chance(double p);

    FaultRates rates_;
    std::mt19937_64 rng_;
};

// Reads a probability given on the command line; false unless it is a number in [0, 1].
bool ParseRate(const std::string& text, double& out);

}  // namespace sim
