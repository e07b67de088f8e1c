#pragma once
// Enumerations and sets of the port component.
#include <cstdint>
#include <initializer_list>

enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };

enum TComEvent {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TLineSignal { lsCTS, lsDSR, lsRing, lsRLSD };
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };

// A set of enumeration values, one bit per value in declaration order.
template <typename E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            bits_ |= Bit(v);
    }
    static constexpr TEnumSet FromBits(std::uint32_t bits)
    {
        TEnumSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }
    void Include(E v) { bits_ |= Bit(v); }
    void Exclude(E v) { bits_ &= ~Bit(v); }

    constexpr bool operator==(const TEnumSet& o) const { return bits_ == o.bits_; }
    constexpr bool operator!=(const TEnumSet& o) const { return bits_ != o.bits_; }

private:
    static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
    std::uint32_t bits_ = 0;
};

using TComEvents = TEnumSet<TComEvent>;
using TLineSignals = TEnumSet<TLineSignal>;
using TComErrors = TEnumSet<TComError>;

inline constexpr TComEvents AllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                         evCTS, evDSR, evError, evRLSD, evRx80Full};

// Conversion between the event set and the device's line-event mask.
std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);
