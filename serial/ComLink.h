#pragma once
#include <functional>

class TCustomComPort;

// Through a link another component receives the port's data and notifications. The linking
// component owns the link, assigns the callbacks it wants and attaches it; the port keeps only a
// reference. Callbacks run on the thread that handles the port's events (the GUI thread with
// smThreadSync).
class TComLink {
public:
    using StateCallback = std::function<void(TCustomComPort* sender, bool onOff)>;
    using BufCallback = std::function<void(TCustomComPort* sender, const char* buffer, int count)>;
    using EventCallback = std::function<void(TCustomComPort* sender)>;

    StateCallback OnConnectionChange;
    BufCallback OnRxBuf;
    BufCallback OnTxBuf;
    EventCallback OnTxEmpty;
    EventCallback OnRxFlag;
    StateCallback OnCTSChange;
    StateCallback OnDSRChange;
    StateCallback OnRLSDChange;
    EventCallback OnRing;
    StateCallback OnTxActivity;
    StateCallback OnRxActivity;
};
