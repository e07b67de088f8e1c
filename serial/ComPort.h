#pragma once
// CONTRACT HEADER. The declarations below are used by the terminal, the console and the routing
// windows; their names and signatures are fixed. The serial subsystem adds everything else
// (settings classes, the remaining properties, transfers, line signals) and the implementation.
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "ComLink.h"
#include "EComPort.h"

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

class TCustomComPort : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCustomComPort* sender)>;

    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // Setting Connected opens or closes the device (EComPort code 1 on a failed open).
    bool Connected() const;
    void SetConnected(bool value);

    // "COM1".."COM256" -> /dev/ttyS0..; a name with '/' is a path; anything else is under /dev/.
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

    // The owning window calls these around setting its design-time values.
    void BeginLoading();
    void Loaded();

    // Writes the text's bytes and waits until they are sent; returns the count the device took.
    // Raises EComPort code 2 on failure (closed port, hang-up).
    int WriteText(const std::string& text);

    void AttachLink(TComLink* link);   // code 18 if already attached
    void DetachLink(TComLink* link);   // code 18 if not attached

    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;

signals:
    // Emitted on the GUI thread, once, when the event thread has seen the device hang up
    // (cable or USB adapter pulled, pty master closed). The port stays Connected until closed.
    void HungUp();
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};

// Maps a port name as the user knows it onto a device path (see Port()).
std::string DevicePathForPort(const QString& port);
