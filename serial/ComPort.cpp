#include "ComPort.h"

#include <algorithm>
#include <QCoreApplication>
#include <QThread>

#include "ComThread.h"

namespace {
const std::uint32_t kBaudRates[] = {0,     110,   300,   600,    1200,   2400,   4800,   9600,
                                    14400, 19200, 38400, 56000,  57600,  115200, 128000, 256000};
}  // namespace

TCustomComPort::TCustomComPort(QObject* owner)
    : QObject(owner), device_(CreateComDevice()), receiver_(std::make_unique<TComPortReceiver>(this))
{
    parity_.SetComPort(this);
    flowControl_.SetComPort(this);
    timeouts_.SetComPort(this);
    buffer_.SetComPort(this);
}

TCustomComPort::~TCustomComPort()
{
    try {
        ClosePort();
    } catch (...) {
        // A destructor has no one to tell; make sure the thread and device are gone anyway.
    }
    if (thread_) {
        thread_->Stop();
        StopEventThread();
    }
    device_->Close();
    parity_.SetComPort(nullptr);
    flowControl_.SetComPort(nullptr);
    timeouts_.SetComPort(nullptr);
    buffer_.SetComPort(nullptr);
}

// --- properties -------------------------------------------------------------------------------

bool TCustomComPort::Connected() const { return connected_; }

void TCustomComPort::SetConnected(bool value)
{
    if (loading_) {
        connected_ = value;
        return;
    }
    if (value == connected_)
        return;
    if (value)
        OpenPort();
    else
        ClosePort();
}

QString TCustomComPort::Port() const { return port_; }

void TCustomComPort::SetPort(const QString& value)
{
    if (value == port_)
        return;
    port_ = value;
    if (connected_ && !loading_) {
        ClosePort();
        OpenPort();
    }
}

TBaudRate TCustomComPort::BaudRate() const { return baudRate_; }
void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (value == baudRate_)
        return;
    baudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int value)
{
    if (value == customBaudRate_)
        return;
    customBaudRate_ = value;
    ApplyLineSettings();
}

TDataBits TCustomComPort::DataBits() const { return dataBits_; }
void TCustomComPort::SetDataBits(TDataBits value)
{
    if (value == dataBits_)
        return;
    dataBits_ = value;
    ApplyLineSettings();
}

TStopBits TCustomComPort::StopBits() const { return stopBits_; }
void TCustomComPort::SetStopBits(TStopBits value)
{
    if (value == stopBits_)
        return;
    stopBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (value == discardNull_)
        return;
    discardNull_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char value)
{
    if (value == eventChar_)
        return;
    eventChar_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetReceiveHoldOff(int characters)
{
    receiveHoldOff_ = std::max(0, characters);
    device_->SetReceiveHoldOff(receiveHoldOff_);
}

TSyncMethod TCustomComPort::SyncMethod() const { return syncMethod_; }
void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_ && !loading_)
        throw EComPort(14);
    syncMethod_ = value;
}

void TCustomComPort::SetParity(const TComPersistent& value)
{
    parity_.Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetFlowControl(const TComPersistent& value)
{
    flowControl_.Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComPersistent& value)
{
    timeouts_.Assign(value);
    ApplyTimeoutSettings();
}

void TCustomComPort::SetBuffer(const TComPersistent& value)
{
    buffer_.Assign(value);
    ApplyBufferSizes();
}

void TCustomComPort::BeginLoading() { loading_ = true; }

void TCustomComPort::Loaded()
{
    loading_ = false;
    if (connected_) {
        connected_ = false;
        try {
            OpenPort();
        } catch (...) {
            // Building the window goes on; the failure goes to the application's report.
            ReportLater(std::current_exception());
        }
    }
}

void TCustomComPort::ReportLater(std::exception_ptr error)
{
    PostComReport(receiver_.get(), std::move(error));
}

// --- applying settings ------------------------------------------------------------------------

TComDcb TCustomComPort::BuildDcb() const
{
    TComDcb d;
    d.BaudRate = baudRate_ == brCustom ? static_cast<std::uint32_t>(customBaudRate_) : kBaudRates[baudRate_];
    std::uint32_t f = TComDcb::fBinary;
    if (parity_.Check()) f |= TComDcb::fParity;
    if (flowControl_.OutCTSFlow()) f |= TComDcb::fOutxCtsFlow;
    if (flowControl_.OutDSRFlow()) f |= TComDcb::fOutxDsrFlow;
    f |= static_cast<std::uint32_t>(flowControl_.ControlDTR()) << 4;
    if (flowControl_.DSRSensitivity()) f |= TComDcb::fDsrSensitivity;
    if (flowControl_.TxContinueOnXoff()) f |= TComDcb::fTXContinueOnXoff;
    if (flowControl_.XonXoffOut()) f |= TComDcb::fOutX;
    if (flowControl_.XonXoffIn()) f |= TComDcb::fInX;
    const bool errorChar = parity_.Check() && parity_.Replace();
    if (errorChar) f |= TComDcb::fErrorChar;
    if (discardNull_) f |= TComDcb::fNull;
    f |= static_cast<std::uint32_t>(flowControl_.ControlRTS()) << 12;
    d.Flags = f;
    d.XonLim = static_cast<std::uint16_t>(buffer_.InputSize() / 4);
    d.XoffLim = static_cast<std::uint16_t>(buffer_.InputSize() / 4);
    d.ByteSize = static_cast<std::uint8_t>(5 + dataBits_);
    d.Parity = static_cast<std::uint8_t>(parity_.Bits());
    d.StopBits = static_cast<std::uint8_t>(stopBits_);
    d.XonChar = flowControl_.XonChar();
    d.XoffChar = flowControl_.XoffChar();
    d.ErrorChar = errorChar ? parity_.ReplaceChar() : 0;
    d.EofChar = 0;
    d.EvtChar = eventChar_;
    return d;
}

TComTimeoutRecord TCustomComPort::BuildTimeouts() const
{
    TComTimeoutRecord t;
    t.ReadIntervalTimeout = static_cast<std::uint32_t>(timeouts_.ReadInterval());
    t.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(timeouts_.ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(timeouts_.ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(timeouts_.WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(timeouts_.WriteTotalConstant());
    return t;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!connected_ || loading_)
        return;
    if (!device_->SetState(BuildDcb())) {
        if (const std::uint32_t speed = device_->RefusedSpeed())
            throw EComPort(7, device_->LastError(),
                           "this system cannot set " + std::to_string(speed) + " bit/s");
        throw EComPort(7, device_->LastError());
    }
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!connected_ || loading_)
        return;
    if (!device_->SetTimeouts(BuildTimeouts()))
        throw EComPort(8, device_->LastError());
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!connected_ || loading_)
        return;
    if (!device_->SetBufferSizes(buffer_.InputSize(), buffer_.OutputSize()))
        throw EComPort(9, device_->LastError());
}

void TCustomComPort::ApplyAllSettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

// --- opening and closing ----------------------------------------------------------------------

void TCustomComPort::OpenDevice()
{
    if (!device_->Open(DevicePathForPort(port_)))
        throw EComPort(1, device_->LastError());
}

void TCustomComPort::CloseDevice()
{
    device_->Close();
}

void TCustomComPort::OpenPort()
{
    if (connected_ || closing_)
        return;
    FireBeforeOpen();
    OpenDevice();
    connected_ = true;
    try {
        ApplyAllSettings();
    } catch (...) {
        CloseDevice();
        connected_ = false;
        throw;
    }
    if (!events_.Empty()) {
        thread_ = std::make_unique<TComThread>(this, device_.get(), receiver_.get());
        device_->SetEventMask(EventsToMask(events_));
        thread_->start();
        threadCreated_ = true;
    }
    HandleAfterOpen();
}

void TCustomComPort::ClosePort()
{
    if (!connected_ || closing_)
        return;
    closing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{closing_};

    HandleBeforeClose();
    CancelTransfers();
    if (threadCreated_) {
        thread_->Stop();
        StopEventThread();
        threadCreated_ = false;
    }
    CloseDevice();
    connected_ = false;
    HandleAfterClose();
}

void TCustomComPort::StopEventThread()
{
    if (QThread::currentThread() == thread_.get()) {
        // Closed from a handler running on the event thread itself (smNone): it cannot wait for
        // its own end; it leaves its loop when the handler returns and is deleted after that.
        TComThread* self = thread_.release();
        self->Abandon();
        QObject::connect(self, &QThread::finished, self, &QObject::deleteLater);
        return;
    }
    QThread::yieldCurrentThread();
    // The thread may be waiting for the GUI thread to take a hand-over: keep serving the port's
    // posted events while waiting, never a plain wait().
    auto serve = [this]() {
        try {
            QCoreApplication::sendPostedEvents(receiver_.get(), 0);
        } catch (...) {
            ReportLater(std::current_exception());
        }
    };
    const bool onOwnThread = QThread::currentThread() == receiver_->thread();
    while (!thread_->wait(5)) {
        if (onOwnThread)
            serve();
    }
    if (onOwnThread)
        serve();   // a hand-over posted just before the thread saw the stop
    receiver_->EndStream();
    thread_.reset();
    // Nothing posted for this opening may run after it closed; reports stay for the application.
    QCoreApplication::removePostedEvents(receiver_.get(), TComPortReceiver::DeliveryType());
    QCoreApplication::removePostedEvents(receiver_.get(), TComPortReceiver::MessageType());
    QCoreApplication::removePostedEvents(receiver_.get(), TComPortReceiver::HangUpType());
}

void TCustomComPort::HangUpSeen()
{
    if (connected_ && !closing_)
        emit HungUp();
}

void TCustomComPort::HandleAfterOpen()
{
    BroadcastState(LinkState::Connection, true);
    FireAfterOpen();
    HandleCTSChange();
    HandleDSRChange();
    HandleRLSDChange();
}

void TCustomComPort::HandleBeforeClose()
{
    BroadcastState(LinkState::CTS, false);
    BroadcastState(LinkState::DSR, false);
    BroadcastState(LinkState::RLSD, false);
    FireCTSChange(false);
    FireDSRChange(false);
    FireRLSDChange(false);
    FireBeforeClose();
}

void TCustomComPort::HandleAfterClose()
{
    BroadcastState(LinkState::Connection, false);
    FireAfterClose();
}
