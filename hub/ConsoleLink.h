#pragma once
#include <QByteArray>
#include <QObject>

#include <functional>
#include <string>
#include <sys/types.h>

#include "ClientInbox.h"

class QSocketNotifier;
class QTimer;

// A pseudo-terminal published under a path, for a console (or any serial program) on this
// machine: the console opens the path as its port. The hub keeps the master end. The master
// does not tell when a console opens or closes the other end, so the link watches the device's
// opens and closes (inotify); that also tells one console from the next when one closes and
// another opens at once. Where inotify is not to be had, the link looks at the master's hang-up
// state every so often instead.
//
// Whatever a console wrote and the hub has not handed on when it closes is dropped, and so is
// what was written to it and not read: the next console starts empty both ways.
class TConsoleLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kProbeIntervalMs = 100;
    // One read a wake-up, so a console that writes without pause cannot hold the event loop.
    static constexpr int kReadChunk = 256;
    // While a console's queue is full its link is read this seldom: its excess is dropped
    // without the hub spending its time on it.
    static constexpr int kFloodPauseMs = 100;

    // Says something for the log; repeats of one `key` are limited by the receiver.
    using Logger = std::function<void(const std::string& key, const std::string& text)>;

    // `group` owns the console's end, which is made readable and writable for it.
    TConsoleLink(std::string path, gid_t group, Logger log, QObject* parent = nullptr);
    ~TConsoleLink() override;

    // Creates the pty and the link; throws std::runtime_error saying what failed.
    void Open();
    const std::string& Path() const { return path_; }
    const std::string& DeviceName() const { return deviceName_; }
    bool ClientPresent() const { return present_; }

    // To the console; dropped when nobody is there or the console does not read.
    void Write(const std::string& bytes);

signals:
    void ClientOpened();
    void ClientClosed();
    // The console's bytes, at most at the controller line's pace.
    void Received(const QByteArray& bytes);

private:
    bool WatchOpens();
    void WatchEvents();
    void Probe();
    void Arrived();
    void ReadMaster();
    void HandOn();
    void ArmPace();
    void EndFlood();
    void Gone();
    void DropLeftovers();
    void FlushBothWays();

    std::string path_;
    gid_t group_;
    Logger log_;
    std::string deviceName_;
    int master_ = -1;
    int watch_ = -1;   // inotify on the console's end, or -1 when probing
    int openers_ = 0;
    bool linked_ = false;
    bool present_ = false;
    hub::TClientInbox inbox_;
    long long dropped_ = 0;   // of the current flood
    QSocketNotifier* notifier_ = nullptr;
    QSocketNotifier* watchNotifier_ = nullptr;
    QTimer* probe_ = nullptr;
    QTimer* pace_ = nullptr;
    QTimer* floodPause_ = nullptr;
};
