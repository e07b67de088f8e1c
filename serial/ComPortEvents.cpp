// Links, the handling steps of line events, the receive path and the port's events.
#include <memory>
#include <utility>

#include "ComPort.h"

// --- links ------------------------------------------------------------------------------------

void TCustomComPort::AttachLink(TComLink* link)
{
    if (!link || links_.contains(link))
        throw EComPort(18);
    links_.append(link);
    linkTakesData_ = false;
    for (TComLink* l : links_)
        if (l->OnRxBuf)
            linkTakesData_ = true;
}

void TCustomComPort::DetachLink(TComLink* link)
{
    const int i = links_.indexOf(link);
    if (i < 0)
        throw EComPort(18);
    links_.remove(i);
    linkTakesData_ = false;
    for (TComLink* l : links_)
        if (l->OnRxBuf)
            linkTakesData_ = true;
}

bool TCustomComPort::LinkWatchesRx() const
{
    for (const TComLink* l : links_)
        if (l->OnRxActivity)
            return true;
    return false;
}

// A callback may detach (and destroy) links: only links still attached are called.
void TCustomComPort::BroadcastState(LinkState which, bool onOff)
{
    for (TComLink* l : LinksSnapshot()) {
        if (!links_.contains(l))
            continue;
        TComLink::StateCallback* cb = nullptr;
        switch (which) {
        case LinkState::Connection: cb = &l->OnConnectionChange; break;
        case LinkState::CTS: cb = &l->OnCTSChange; break;
        case LinkState::DSR: cb = &l->OnDSRChange; break;
        case LinkState::RLSD: cb = &l->OnRLSDChange; break;
        case LinkState::RxActivity: cb = &l->OnRxActivity; break;
        case LinkState::TxActivity: cb = &l->OnTxActivity; break;
        }
        if (*cb)
            (*cb)(this, onOff);
    }
}

void TCustomComPort::BroadcastEvent(LinkEvent which)
{
    for (TComLink* l : LinksSnapshot()) {
        if (!links_.contains(l))
            continue;
        TComLink::EventCallback* cb = nullptr;
        switch (which) {
        case LinkEvent::Ring: cb = &l->OnRing; break;
        case LinkEvent::TxEmpty: cb = &l->OnTxEmpty; break;
        case LinkEvent::RxFlag: cb = &l->OnRxFlag; break;
        }
        if (*cb)
            (*cb)(this);
    }
}

void TCustomComPort::BroadcastSent(const char* buffer, int count)
{
    for (TComLink* l : LinksSnapshot())
        if (links_.contains(l) && l->OnTxBuf)
            l->OnTxBuf(this, buffer, count);
}

// --- event handling ---------------------------------------------------------------------------

void TCustomComPort::HandleEvents(TComEvents events)
{
    // A handler may close the port; the rest of the set then has no device to ask.
    static const TComEvent order[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                      evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
    for (TComEvent e : order) {
        if (!events.Contains(e) || !connected_)
            continue;
        switch (e) {
        case evError: HandleError(); break;
        case evRxChar: HandleRxChar(); break;
        case evTxEmpty: HandleTxEmpty(); break;
        case evBreak: HandleBreak(); break;
        case evRing: HandleRing(); break;
        case evCTS: HandleCTSChange(); break;
        case evDSR: HandleDSRChange(); break;
        case evRxFlag: HandleRxFlag(); break;
        case evRLSD: HandleRLSDChange(); break;
        case evRx80Full: HandleRx80Full(); break;
        }
    }
}

void TCustomComPort::HandleEventBit(std::uint32_t maskBit)
{
    switch (maskBit) {
    case ComEv::RxChar: HandleRxChar(); break;
    case ComEv::RxFlag: HandleRxFlag(); break;
    case ComEv::TxEmpty: HandleTxEmpty(); break;
    case ComEv::Cts: HandleCTSChange(); break;
    case ComEv::Dsr: HandleDSRChange(); break;
    case ComEv::Rlsd: HandleRLSDChange(); break;
    case ComEv::Break: HandleBreak(); break;
    case ComEv::Err: HandleError(); break;
    case ComEv::Ring: HandleRing(); break;
    case ComEv::Rx80Full: HandleRx80Full(); break;
    default: break;
    }
}

void TCustomComPort::HandleError()
{
    const TComErrors errors = TakeLineErrors();
    if (!errors.Empty())
        FireError(errors);
}

void TCustomComPort::HandleRxChar()
{
    int count = lookedInQueue_ >= 0 ? std::exchange(lookedInQueue_, -1) : InputQueueLength();
    device_->NoteReported(count);
    if (count > 0)
        BroadcastState(LinkState::RxActivity, true);
    DeliverReceived(count);
    if (count > 0)
        FireRxChar(count);
}

void TCustomComPort::DeliverReceived(int& count)
{
    if (count <= 0 || !linkTakesData_)
        return;
    std::unique_ptr<char[]> buffer;
    int read = 0;
    struct Done {
        int& count;
        ~Done() { count = 0; }
    } done{count};
    for (TComLink* l : LinksSnapshot()) {
        if (!links_.contains(l) || !l->OnRxBuf)
            continue;
        if (!buffer) {
            buffer.reset(new char[static_cast<size_t>(count)]);
            read = ReadBuffer(buffer.get(), count);
            if (read <= 0)
                return;   // nothing left once zero bytes were dropped: nothing to tell
            FireRxBuf(buffer.get(), read);
        }
        l->OnRxBuf(this, buffer.get(), read);
    }
}

void TCustomComPort::HandleTxEmpty()
{
    BroadcastState(LinkState::TxActivity, false);
    BroadcastEvent(LinkEvent::TxEmpty);
    FireTxEmpty();
}

void TCustomComPort::HandleBreak() { FireBreak(); }

void TCustomComPort::HandleRing()
{
    BroadcastEvent(LinkEvent::Ring);
    FireRing();
}

void TCustomComPort::HandleCTSChange()
{
    const bool on = LineSignals().Contains(lsCTS);
    BroadcastState(LinkState::CTS, on);
    FireCTSChange(on);
}

void TCustomComPort::HandleDSRChange()
{
    const bool on = LineSignals().Contains(lsDSR);
    BroadcastState(LinkState::DSR, on);
    FireDSRChange(on);
}

void TCustomComPort::HandleRxFlag()
{
    BroadcastEvent(LinkEvent::RxFlag);
    FireRxFlag();
}

void TCustomComPort::HandleRLSDChange()
{
    const bool on = LineSignals().Contains(lsRLSD);
    BroadcastState(LinkState::RLSD, on);
    FireRLSDChange(on);
}

void TCustomComPort::HandleRx80Full() { FireRx80Full(); }

// --- firing events ----------------------------------------------------------------------------

void TCustomComPort::FireAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::FireAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::FireBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::FireBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::FireRxChar(int count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomComPort::FireRxBuf(const char* buffer, int count) { if (OnRxBuf) OnRxBuf(this, buffer, count); }
void TCustomComPort::FireTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::FireBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::FireRing() { if (OnRing) OnRing(this); }
void TCustomComPort::FireRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::FireCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomComPort::FireDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomComPort::FireError(TComErrors errors) { if (OnError) OnError(this, errors); }
void TCustomComPort::FireRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomComPort::FireRx80Full() { if (OnRx80Full) OnRx80Full(this); }
