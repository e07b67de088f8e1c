#include "StartupProbe.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

long long RealtimeNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class FirstPaintProbe : public QObject {
public:
    FirstPaintProbe(QWidget* window, long long launchNs) : QObject(window), launchNs_(launchNs) {}

    // Watches the whole application: the window's children cover it, so its first frame is
    // the first paint of any widget inside it.
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || seen_)
            return false;
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (widget && widget->window() == parent()) {
            seen_ = true;
            // Runs once the paint and its flush to the screen are done.
            QTimer::singleShot(0, this, [this] {
                std::fprintf(stderr, "first frame: %.1f ms\n", (RealtimeNs() - launchNs_) / 1e6);
                std::fflush(stderr);
            });
        }
        return false;
    }

private:
    long long launchNs_;
    bool seen_ = false;
};

}  // namespace

void InstallStartupProbe(QWidget* window)
{
    const QByteArray launch = qgetenv("KONF_STARTUP_PROBE");
    bool ok = false;
    const long long launchNs = launch.toLongLong(&ok);
    if (!ok)
        return;
    qApp->installEventFilter(new FirstPaintProbe(window, launchNs));
}
