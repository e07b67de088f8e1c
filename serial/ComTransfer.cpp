// Reading, writing and the line-state queries of the port.
#include "ComPort.h"

namespace {
// Releases a transfer record however the operation ends.
class TransferHolder {
public:
    TransferHolder() { TCustomComPort::InitTransfer(transfer_); }
    ~TransferHolder() { TCustomComPort::DoneTransfer(transfer_); }
    TComTransfer* get() const { return transfer_; }

private:
    TComTransfer* transfer_ = nullptr;
};
}  // namespace

void TCustomComPort::InitTransfer(TComTransfer*& transfer)
{
    transfer = new TComTransfer;
}

void TCustomComPort::DoneTransfer(TComTransfer*& transfer)
{
    delete transfer;
    transfer = nullptr;
}

int TCustomComPort::WriteText(const std::string& text)
{
    if (text.empty())
        return 0;
    TransferHolder t;
    WriteTextAsync(text, t.get());
    return WaitForTransfer(t.get());
}

bool TCustomComPort::WriteBytes(const std::string& bytes, std::string& why)
{
    try {
        WriteText(bytes);
        return true;
    } catch (const EComPort& e) {
        why = e.what();
        return false;
    }
}

int TCustomComPort::WriteTextAsync(const std::string& text, TComTransfer* transfer)
{
    if (text.empty())
        return 0;
    return WriteBufferAsync(text.data(), static_cast<int>(text.size()), transfer);
}

int TCustomComPort::WriteBufferAsync(const void* buffer, int count, TComTransfer* transfer)
{
    if (!transfer)
        throw EComPort(4);
    if (count < 0 || (count > 0 && !buffer))
        throw EComPort(2, EINVAL);
    transfer->Kind = trWrite;
    transfer->Data.assign(static_cast<const char*>(buffer), static_cast<size_t>(count));
    transfer->HasData = true;
    transfer->Size = count;
    transfer->Io = ComIo{};
    transfer->Io.isWrite = true;
    transfer->Io.data = transfer->Data.data();
    transfer->Io.size = count;
    if (!device_->StartIo(transfer->Io))
        throw EComPort(2, device_->LastError());
    BroadcastState(LinkState::TxActivity, true);
    return transfer->Io.done;
}

int TCustomComPort::ReadBuffer(void* buffer, int count)
{
    TransferHolder t;
    ReadBufferAsync(buffer, count, t.get());
    return WaitForTransfer(t.get());
}

int TCustomComPort::ReadBufferAsync(void* buffer, int count, TComTransfer* transfer)
{
    if (!transfer)
        throw EComPort(4);
    if (count < 0 || (count > 0 && !buffer))
        throw EComPort(3, EINVAL);
    transfer->Kind = trRead;
    transfer->Io = ComIo{};
    transfer->Io.isWrite = false;
    transfer->Io.buffer = static_cast<char*>(buffer);
    transfer->Io.size = count;
    if (!device_->StartIo(transfer->Io))
        throw EComPort(3, device_->LastError());
    return transfer->Io.done;
}

int TCustomComPort::WaitForTransfer(TComTransfer* transfer)
{
    if (!transfer)
        throw EComPort(4);
    const bool isRead = transfer->Kind == trRead;
    if (!device_->FinishIo(transfer->Io))
        throw EComPort(isRead ? 3 : 2, device_->LastError());
    const int done = transfer->Io.done;
    if (isRead) {
        // Asking the driver slows a fast stream down (it answers under the lock its receive
        // work copies under): only when somebody listens for the answer.
        if (LinkWatchesRx() && InputQueueLength() == 0)
            BroadcastState(LinkState::RxActivity, false);
    } else if (transfer->HasData) {
        BroadcastSent(transfer->Data.data(), done);
    }
    return done;
}

void TCustomComPort::CancelTransfers()
{
    if (!device_->Purge(ComPurge::TxAbort | ComPurge::RxAbort))
        throw EComPort(5, device_->LastError());
}

int TCustomComPort::InputQueueLength()
{
    int in = 0;
    if (!device_->QueueCounts(&in, nullptr))
        throw EComPort(10, device_->LastError());
    return in;
}

TLineSignals TCustomComPort::LineSignals()
{
    std::uint32_t s = 0;
    if (!device_->ModemStatus(&s))
        throw EComPort(11, device_->LastError());
    TLineSignals lines;
    if (s & ComMs::CtsOn) lines.Include(lsCTS);
    if (s & ComMs::DsrOn) lines.Include(lsDSR);
    if (s & ComMs::RingOn) lines.Include(lsRing);
    if (s & ComMs::RlsdOn) lines.Include(lsRLSD);
    return lines;
}

TComErrors TCustomComPort::TakeLineErrors()
{
    std::uint32_t e = 0;
    if (!device_->TakeErrors(&e))
        throw EComPort(10, device_->LastError());
    TComErrors errors;
    if (e & ComCe::Frame) errors.Include(ceFrame);
    if ((e & ComCe::RxParity) && parity_.Check()) errors.Include(ceRxParity);
    if (e & ComCe::Overrun) errors.Include(ceOverrun);
    if (e & ComCe::Break) errors.Include(ceBreak);
    if (e & ComCe::IOE) errors.Include(ceIO);
    if (e & ComCe::Mode) errors.Include(ceMode);
    if (e & ComCe::RxOver) errors.Include(ceRxOver);
    if (e & ComCe::TxFull) errors.Include(ceTxFull);
    return errors;
}
