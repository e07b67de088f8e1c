// Measures the receive path of the port on a pseudo-terminal:
//  - latency from a byte written on the master until a link's OnRxBuf runs on the main thread,
//  - throughput of the same path,
//  - CPU used by an open, idle port.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ComPort.h"

namespace {
struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        path = name;
    }
    ~Pty()
    {
        ::close(master);
        ::close(slave);
    }
};

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void WriteAll(int fd, const char* data, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            std::perror("write");
            std::exit(1);
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
}

void Latency(int samples)
{
    Pty pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.path));
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
        WriteAll(pty.master, "a", 1);
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
    Pty pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.path));
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

    const std::vector<char> block(4096, 'x');
    QElapsedTimer t;
    t.start();
    std::thread writer([&] {
        for (size_t sent = 0; sent < total; sent += block.size())
            WriteAll(pty.master, block.data(), std::min(block.size(), total - sent));
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

void IdleCpu(int seconds)
{
    Pty pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.path));
    TComLink link;
    link.OnRxBuf = [](TCustomComPort*, const char*, int) {};
    port.AttachLink(&link);
    port.SetConnected(true);
    const double cpu0 = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = CpuSeconds() - cpu0;
    std::printf("idle CPU  : %.4f s over %d s (%.4f %%)\n", used, seconds, used / seconds * 100);
    port.SetConnected(false);
    port.DetachLink(&link);
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    Latency(quick ? 1000 : 10000);
    Throughput(quick ? (1u << 20) : (8u << 20));
    IdleCpu(quick ? 1 : 10);
    return 0;
}
