#pragma once
// The one way tests and benchmarks wait. Unlike QTest::qWaitFor, which sleeps blind for 10 ms
// between passes, the thread sleeps in the event loop: a hand-over from the port's event thread,
// a timer or a repaint is served the moment it is due, as in the running program, so batching
// and timing are what the program would see.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

// Runs the event loop until `done` holds or `timeoutMs` pass; true when it holds. `done` is
// looked at after every event and at least every `pollMs`, for conditions outside the process (a
// pty, a file, another program) that send no event; an expensive look wants a longer `pollMs`.
template <typename Predicate>
bool WaitFor(Predicate done, int timeoutMs = 3000, int pollMs = 1)
{
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.start(pollMs);
    do {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
    } while (!deadline.hasExpired());
    return false;
}

// Runs the event loop for `ms`.
inline void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
