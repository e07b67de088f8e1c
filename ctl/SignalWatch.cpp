#include "SignalWatch.h"

#include <QSocketNotifier>

#include <sys/signalfd.h>
#include <unistd.h>

TSignalWatch::TSignalWatch(QObject* parent) : QObject(parent)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0)
        return;   // the default actions stay in force
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TSignalWatch::Read);
}

TSignalWatch::~TSignalWatch()
{
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void TSignalWatch::Read()
{
    signalfd_siginfo info;
    bool any = false;
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        any = true;
    if (any)
        emit Signalled();
}
