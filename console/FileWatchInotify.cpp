// Change notices from the kernel's inotify, on the folder that holds the file.
#include "FileWatch.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

TFileWatch::TFileWatch() = default;

TFileWatch::~TFileWatch()
{
    Stop();
}

bool TFileWatch::Watch(const QString& path)
{
    Stop();
    const QFileInfo info(path);
    name_ = QFile::encodeName(info.fileName());
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return false;
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const std::uint32_t mask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(fd_, folder.constData(), mask) < 0) {
        Stop();
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { ReadEvents(); });
    return true;
}

void TFileWatch::Stop()
{
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void TFileWatch::ReadEvents()
{
    bool changed = false, touched = false, lost = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changed = true;   // notices were dropped: whatever they said, look again
            } else if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                lost = true;
            } else if (event->len > 0 && std::strcmp(event->name, name_.constData()) == 0) {
                if (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO))
                    changed = true;
                else if (event->mask & IN_MODIFY)
                    touched = true;
            }
        }
    }
    // A handler may stop or even destroy the watch: nothing is touched after calling one.
    if (lost) {
        Stop();
        if (OnLost)
            OnLost();
    } else if (changed) {
        if (OnChanged)
            OnChanged();
    } else if (touched) {
        if (OnTouched)
            OnTouched();
    }
}
