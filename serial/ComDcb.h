#pragma once
#include <cstdint>

// The device control block handed to the device layer: the classic 28-byte serial settings
// record, field for field, so that what the component asks of the driver can be checked exactly.
struct TComDcb {
    // Bits of Flags.
    static constexpr std::uint32_t fBinary = 0x0001;
    static constexpr std::uint32_t fParity = 0x0002;
    static constexpr std::uint32_t fOutxCtsFlow = 0x0004;
    static constexpr std::uint32_t fOutxDsrFlow = 0x0008;
    static constexpr std::uint32_t fDtrControlMask = 0x0030;   // 0x00 off, 0x10 on, 0x20 handshake
    static constexpr std::uint32_t fDsrSensitivity = 0x0040;
    static constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
    static constexpr std::uint32_t fOutX = 0x0100;
    static constexpr std::uint32_t fInX = 0x0200;
    static constexpr std::uint32_t fErrorChar = 0x0400;
    static constexpr std::uint32_t fNull = 0x0800;
    static constexpr std::uint32_t fRtsControlMask = 0x3000;   // 0 off, 1 on, 2 handshake, 3 toggle
    static constexpr std::uint32_t fAbortOnError = 0x4000;

    static constexpr std::uint32_t DtrControl(std::uint32_t flags) { return (flags & fDtrControlMask) >> 4; }
    static constexpr std::uint32_t RtsControl(std::uint32_t flags) { return (flags & fRtsControlMask) >> 12; }

    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;   // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    bool operator==(const TComDcb& o) const
    {
        return DCBlength == o.DCBlength && BaudRate == o.BaudRate && Flags == o.Flags &&
               wReserved == o.wReserved && XonLim == o.XonLim && XoffLim == o.XoffLim &&
               ByteSize == o.ByteSize && Parity == o.Parity && StopBits == o.StopBits &&
               XonChar == o.XonChar && XoffChar == o.XoffChar && ErrorChar == o.ErrorChar &&
               EofChar == o.EofChar && EvtChar == o.EvtChar && wReserved1 == o.wReserved1;
    }
    bool operator!=(const TComDcb& o) const { return !(*this == o); }
};

// The five time-outs in milliseconds, as unsigned 32-bit values (0xFFFFFFFF = "maximum").
struct TComTimeoutRecord {
    std::uint32_t ReadIntervalTimeout = 0xFFFFFFFFu;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 100;
    std::uint32_t WriteTotalTimeoutConstant = 1000;
};
