#include "SignalWatch.h"

#include <QWinEventNotifier>
#include <atomic>
#include <windows.h>

namespace {
// The console control handler gets no context: it finds the watch's event here. Set while a
// watch exists (there is one, in main), read by the handler's thread.
std::atomic<HANDLE>& WatchEvent()
{
    static std::atomic<HANDLE> event{nullptr};
    return event;
}

BOOL WINAPI OnConsoleControl(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (HANDLE e = WatchEvent().load()) {
            ::SetEvent(e);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
}  // namespace

TSignalWatch::TSignalWatch(QObject* parent) : QObject(parent)
{
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event)
        return;   // the default actions stay in force
    notifier_ = new QWinEventNotifier(event, this);
    connect(notifier_, &QWinEventNotifier::activated, this, [this] { emit Signalled(); });
    WatchEvent().store(event);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TSignalWatch::~TSignalWatch()
{
    if (!notifier_)
        return;
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    HANDLE event = WatchEvent().exchange(nullptr);
    delete notifier_;
    ::CloseHandle(event);
}
