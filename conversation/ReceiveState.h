#pragma once
#include <cstdint>

// Where the controller's replies stand: which replies are being read and how many of their
// characters have arrived. The session owns one; the parser advances it one character at a time.
struct TReceiveState {
    bool ConfigDumpActive = false;
    std::uint8_t ConfigDumpPosition = 0;   // wraps from 255 to 0
    bool InputReadActive = false;
    std::int32_t InputReadPosition = 0;
    bool OutputReadActive = false;
    std::int32_t OutputReadPosition = 0;

    // Request bookkeeping of "q" and "x", done before the request is written.
    void BeginInputRead()
    {
        InputReadActive = true;
        InputReadPosition = 0;
    }
    void BeginOutputRead()
    {
        OutputReadActive = true;
        OutputReadPosition = 0;
    }
};
