#pragma once
#include <QByteArray>
#include <QObject>

#include <string>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

// A pseudo-terminal published under a path, for a console (or any serial program) on this
// machine: the console opens the path as its port. The hub keeps the master end. Whether a
// console has the other end open shows only as the master's hang-up state, so while nobody is
// there the link looks again every so often instead of waiting on a descriptor that would
// report the hang-up without end.
class TConsoleLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kProbeIntervalMs = 100;

    // `group` owns the console's end, which is made readable and writable for it.
    TConsoleLink(std::string path, gid_t group, QObject* parent = nullptr);
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
    void Received(const QByteArray& bytes);

private:
    void Probe();
    void ReadMaster();
    void Gone();

    std::string path_;
    gid_t group_;
    std::string deviceName_;
    int master_ = -1;
    bool linked_ = false;
    bool present_ = false;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* probe_ = nullptr;
};
