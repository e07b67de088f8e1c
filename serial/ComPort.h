#pragma once
// The serial port component: its settings, opening and closing, the event thread's calls on the
// main thread, the links that receive its data, and the transfers.
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <string>

#include "ComDcb.h"
#include "ComDevice.h"
#include "ComLink.h"
#include "ComSettings.h"
#include "ComTypes.h"
#include "ComWriter.h"
#include "EComPort.h"

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

enum TTransferKind : unsigned char { trWrite, trRead };

// One transfer in progress, owned by whoever started it (InitTransfer / DoneTransfer).
struct TComTransfer {
    ComIo Io;                    // the device's own record of the transfer
    TTransferKind Kind = trWrite;
    bool HasData = false;        // a write keeps a copy of its bytes for the links
    std::string Data;
    int Size = 0;
};

class TComThread;
class TComPortReceiver;

class TCustomComPort : public QObject, public IComWriter {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCustomComPort* sender)>;
    using TRxCharEvent = std::function<void(TCustomComPort* sender, int count)>;
    using TRxBufEvent = std::function<void(TCustomComPort* sender, const char* buffer, int count)>;
    using TComErrorEvent = std::function<void(TCustomComPort* sender, TComErrors errors)>;
    using TComSignalEvent = std::function<void(TCustomComPort* sender, bool onOff)>;

    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // Setting Connected opens or closes the device (EComPort code 1 on a failed open).
    bool Connected() const;
    void SetConnected(bool value);

    // "COM1".."COM256" -> /dev/ttyS0..; a path starting with '/', "./" or "../", or a relative
    // path with '/' that exists, is used as it stands; anything else is under /dev/ ("ttyUSB0",
    // "serial/by-id/...").
    QString Port() const;
    void SetPort(const QString& value);

    TBaudRate BaudRate() const;
    void SetBaudRate(TBaudRate value);
    TDataBits DataBits() const;
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits value);
    TSyncMethod SyncMethod() const;
    void SetSyncMethod(TSyncMethod value);

    int CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    // Handed to the device when the event thread starts, i.e. at the next opening.
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; }
    // New bytes of one stream are handed on at most once every this many character times
    // (0: the device's own pace, four on POSIX). Larger batches cost fewer thread switches but
    // show a stream later. Kept by the device across closing and opening.
    int ReceiveHoldOff() const { return receiveHoldOff_; }
    void SetReceiveHoldOff(int characters);

    TComParity* Parity() { return &parity_; }
    void SetParity(const TComPersistent& value);
    TComFlowControl* FlowControl() { return &flowControl_; }
    void SetFlowControl(const TComPersistent& value);
    TComTimeouts* Timeouts() { return &timeouts_; }
    void SetTimeouts(const TComPersistent& value);
    TComBuffer* Buffer() { return &buffer_; }
    void SetBuffer(const TComPersistent& value);

    // The owning window calls these around setting its design-time values.
    void BeginLoading();
    void Loaded();
    bool Loading() const { return loading_; }

    // Writes the text's bytes and waits until they are sent; returns the count the device took.
    // Raises EComPort code 2 on failure (closed port, hang-up).
    int WriteText(const std::string& text);
    // IComWriter: WriteText with the port's error as the reason instead of an exception.
    bool WriteBytes(const std::string& bytes, std::string& why) override;

    void AttachLink(TComLink* link);   // code 18 if already attached
    void DetachLink(TComLink* link);   // code 18 if not attached
    bool LinkTakesData() const { return linkTakesData_; }

    // Transfers. None checks whether the port is open: the device call fails instead.
    int WriteTextAsync(const std::string& text, TComTransfer* transfer);
    int WriteBufferAsync(const void* buffer, int count, TComTransfer* transfer);
    int ReadBuffer(void* buffer, int count);
    int ReadBufferAsync(void* buffer, int count, TComTransfer* transfer);
    int WaitForTransfer(TComTransfer* transfer);
    void CancelTransfers();
    static void InitTransfer(TComTransfer*& transfer);
    static void DoneTransfer(TComTransfer*& transfer);

    int InputQueueLength();
    TLineSignals LineSignals();
    TComErrors TakeLineErrors();

    // The device control block that ApplyLineSettings hands to the device.
    TComDcb BuildDcb() const;
    // The time-out record that ApplyTimeoutSettings hands to the device.
    TComTimeoutRecord BuildTimeouts() const;

    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRxFlag;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;

signals:
    // Emitted on the GUI thread, once, when the event thread has seen the device hang up
    // (cable or USB adapter pulled, pty master closed). The port stays Connected until closed.
    void HungUp();

protected:
    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ApplyAllSettings();

    virtual void FireAfterClose();
    virtual void FireAfterOpen();
    virtual void FireBeforeClose();
    virtual void FireBeforeOpen();
    virtual void FireRxChar(int count);
    virtual void FireRxBuf(const char* buffer, int count);
    virtual void FireTxEmpty();
    virtual void FireBreak();
    virtual void FireRing();
    virtual void FireRxFlag();
    virtual void FireCTSChange(bool onOff);
    virtual void FireDSRChange(bool onOff);
    virtual void FireError(TComErrors errors);
    virtual void FireRLSDChange(bool onOff);
    virtual void FireRx80Full();

    void OpenPort();
    void ClosePort();

    // Runs the handling step of every event in the set, in the fixed order.
    void HandleEvents(TComEvents events);
    // The handling step of one event, given by its device mask bit; other bits do nothing.
    void HandleEventBit(std::uint32_t maskBit);

    void HandleError();
    void HandleRxChar();
    void HandleTxEmpty();
    void HandleBreak();
    void HandleRing();
    void HandleCTSChange();
    void HandleDSRChange();
    void HandleRxFlag();
    void HandleRLSDChange();
    void HandleRx80Full();

private:
    friend class TComThread;
    friend class TComPortReceiver;
    friend class TComStreamFollower;

    enum class LinkState { Connection, CTS, DSR, RLSD, RxActivity, TxActivity };
    enum class LinkEvent { Ring, TxEmpty, RxFlag };
    void BroadcastState(LinkState which, bool onOff);
    void BroadcastEvent(LinkEvent which);
    void BroadcastSent(const char* buffer, int count);
    void DeliverReceived(int& count);
    QVector<TComLink*> LinksSnapshot() const { return links_; }
    bool LinkWatchesRx() const;   // a link wants to hear when the receive queue ran empty

    void HandleAfterOpen();
    void HandleBeforeClose();
    void HandleAfterClose();
    void StopEventThread();
    void HangUpSeen();                 // on the GUI thread, from the event thread's notice
    void ReportLater(std::exception_ptr error);   // to the application's exception report

    bool connected_ = false;
    bool loading_ = false;
    bool closing_ = false;
    TBaudRate baudRate_ = br9600;
    int customBaudRate_ = 9600;
    QString port_ = QStringLiteral("COM1");
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    int receiveHoldOff_ = 0;
    TSyncMethod syncMethod_ = smThreadSync;
    TComParity parity_;
    TComFlowControl flowControl_;
    TComTimeouts timeouts_;
    TComBuffer buffer_;

    std::unique_ptr<ComDevice> device_;
    std::unique_ptr<TComThread> thread_;
    bool threadCreated_ = false;
    std::unique_ptr<TComPortReceiver> receiver_;
    QVector<TComLink*> links_;
    bool linkTakesData_ = false;
    // The receive queue's length as the stream follower's look has just seen it, for the
    // receive handling it runs at once; -1 when the handling has to ask itself.
    int lookedInQueue_ = -1;
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};

// Maps a port name as the user knows it onto a device path (see Port()).
std::string DevicePathForPort(const QString& port);
