#pragma once
#include <QObject>

#ifdef _WIN32
class QWinEventNotifier;
#else
#include <signal.h>

class QSocketNotifier;
#endif

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on this thread, so that a long command ends
// cleanly: the port closed, the output flushed. Create it before any thread starts (the
// threads inherit the blocked signals); the previous mask is restored on destruction.
// On Windows the same for Ctrl+C, Ctrl+Break and the console window closing.
class TSignalWatch : public QObject {
    Q_OBJECT
public:
    explicit TSignalWatch(QObject* parent = nullptr);
    ~TSignalWatch() override;

signals:
    void Signalled();

private:
#ifdef _WIN32
    QWinEventNotifier* notifier_ = nullptr;
#else
    void Read();

    sigset_t previous_{};
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
#endif
};
