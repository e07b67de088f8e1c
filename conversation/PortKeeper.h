#pragma once
#include <QObject>

class QTimer;
class TCustomComPort;

// Keeps a port open across a lost device: when the device hangs up (cable or adapter pulled),
// or cannot be opened at all, the port is closed and the device looked for about once a second
// until it opens again. Lost and Restored say when; what to tell the user is the owner's.
class TPortKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int kReconnectIntervalMs = 1000;

    explicit TPortKeeper(TCustomComPort* port, QObject* parent = nullptr);

    // Opens the port; when that fails, starts looking for the device and rethrows the port's
    // error, which the caller reports once.
    void Open();
    bool Searching() const;

    QTimer* ReconnectTimer = nullptr;

signals:
    void Lost();
    void Restored();

private:
    void PortHungUp();
    void ReconnectTimerTimer();

    TCustomComPort* port_;
};
