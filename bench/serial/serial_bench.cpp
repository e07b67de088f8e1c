// Measures the receive path of the port on a pseudo-terminal:
//  - latency from a byte written on the master until a link's OnRxBuf runs on the main thread,
//    each byte the first after a quiet spell,
//  - throughput of the same path,
//  - CPU used by an open, idle port; by one whose received bytes nobody reads; and by one whose
//    line has hung up.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "ComPort.h"
#include "PtyPair.h"
#include "WaitFor.h"

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Latency(int samples)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    long received = 0;
    TComLink link;
    link.OnRxBuf = [&](TCustomComPort*, const char*, int n) { received += n; };
    port.AttachLink(&link);
    port.SetConnected(true);

    std::vector<double> us;
    us.reserve(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        // Within a stream the port gathers bytes for four character times (4.2 ms at 9600
        // bit/s); spaced a little wider, every byte here is the first after a quiet spell.
        std::this_thread::sleep_for(std::chrono::microseconds(4500));
        const long want = received + 1;
        const auto t0 = std::chrono::steady_clock::now();
        pty.Write("a");
        while (received < want)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    std::printf("latency  : %d bytes 4.5 ms apart, median %.1f us, p99 %.1f us, max %.1f us\n", samples,
                us[us.size() / 2], us[us.size() * 99 / 100], us.back());
    port.SetConnected(false);
    port.DetachLink(&link);
}

void Throughput(size_t total)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    size_t received = 0;
    long deliveries = 0;
    TComLink link;
    link.OnRxBuf = [&](TCustomComPort*, const char*, int n) {
        received += static_cast<size_t>(n);
        ++deliveries;
    };
    port.AttachLink(&link);
    // A pty takes data at memory speed; the line is set to the fastest standard rate so that the
    // receive hold-off (a few character times) is that of a fast line, not of 9600 bit/s.
    port.SetBaudRate(br256000);
    port.SetConnected(true);

    const std::string block(4096, 'x');
    QElapsedTimer t;
    t.start();
    std::thread writer([&] {
        for (size_t sent = 0; sent < total; sent += block.size())
            pty.Write(block.substr(0, std::min(block.size(), total - sent)));
    });
    while (received < total)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double s = t.nsecsElapsed() / 1e9;
    writer.join();
    std::printf("throughput: %.1f MiB in %.3f s = %.1f MiB/s, %ld deliveries (%.0f bytes each), line at 256000 bit/s\n",
                total / 1048576.0, s, total / 1048576.0 / s, deliveries, double(total) / deliveries);
    port.SetConnected(false);
    port.DetachLink(&link);
}

// CPU of the whole process while the event loop serves `seconds` with nothing to do.
double CpuWhileServing(int seconds)
{
    const double cpu0 = CpuSeconds();
    Spin(seconds * 1000);
    return CpuSeconds() - cpu0;
}

void Report(const char* what, double used, int seconds)
{
    std::printf("%-10s: %.4f s over %d s (%.4f %%)\n", what, used, seconds, used / seconds * 100);
}

void IdleCpu(int seconds)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    TComLink link;
    link.OnRxBuf = [](TCustomComPort*, const char*, int) {};
    port.AttachLink(&link);
    port.SetConnected(true);
    Report("idle CPU", CpuWhileServing(seconds), seconds);
    port.SetConnected(false);
    port.DetachLink(&link);
}

// Received bytes that no link takes stay queued; they must not keep the event thread busy.
void UnreadCpu(int seconds)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    int told = 0;
    port.OnRxChar = [&](TCustomComPort*, int) { ++told; };
    port.SetConnected(true);
    pty.Write("abcde");
    WaitFor([&] { return told > 0; });
    Report("unread CPU", CpuWhileServing(seconds), seconds);
    port.SetConnected(false);
}

// After the line hung up (the device went away) the port stays open until it is closed.
void HangupCpu(int seconds)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    int hungUp = 0;
    QObject::connect(&port, &TCustomComPort::HungUp, [&] { ++hungUp; });
    port.SetConnected(true);
    pty.CloseMaster();
    WaitFor([&] { return hungUp > 0; });
    Report("hangup CPU", CpuWhileServing(seconds), seconds);
    port.SetConnected(false);
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    Latency(quick ? 1000 : 10000);
    Throughput(quick ? (1u << 20) : (8u << 20));
    IdleCpu(quick ? 1 : 10);
    UnreadCpu(quick ? 1 : 5);
    HangupCpu(quick ? 1 : 5);
    return 0;
}
