// Measures the receive path of the port on a pseudo-terminal, next to Qt's QSerialPort on the same
// kind of pty with the same method:
//  - latency from a byte written on the master (by a thread standing in for the device) until the
//    receiving handler runs; also with the receiving thread writing the byte itself,
//  - throughput of the same path,
//  - CPU and wake-ups of an open, idle port; CPU while bytes wait unread and after a hang-up.
// "port" is the product's way (handlers on the GUI thread); "port-no-hop" runs them on the port's
// event thread, so the difference between the two is the cost of the hand-over. The subjects take
// turns (byte by byte, or round by round), so a change in the load of a shared machine hits them
// alike.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <vector>

#include "ComPort.h"
#include "PtyPair.h"
#include "SerialBenchSubject.h"
#include "WaitFor.h"

namespace {
using Clock = std::chrono::steady_clock;

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

// What the delivering thread tells the measuring one: bytes so far and when the last batch came.
// A handler off the GUI thread wakes the GUI thread's loop, after taking its time stamp.
struct Arrivals {
    std::atomic<long long> bytes{0};
    std::atomic<long long> batches{0};
    std::atomic<Clock::rep> lastNs{0};

    SerialBenchSubject::BatchCallback Callback()
    {
        QThread* gui = QCoreApplication::instance()->thread();
        return [this, gui](int n) {
            lastNs = Clock::now().time_since_epoch().count();
            ++batches;
            bytes += n;
            if (QThread::currentThread() != gui)
                gui->eventDispatcher()->wakeUp();
        };
    }
    void WaitFor(long long count)
    {
        while (bytes < count)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

// `only`: with --subject NAME just that one is measured (for profiling it alone).
struct Subjects {
    std::vector<std::unique_ptr<SerialBenchSubject>> all;
    Subjects(bool withNoHop, const std::string& only)
    {
        all.push_back(MakeComPortSubject(false));
        if (withNoHop)
            all.push_back(MakeComPortSubject(true));
        all.push_back(MakeQSerialPortSubject());
        if (!only.empty())
            all.erase(std::remove_if(all.begin(), all.end(), [&only](const auto& s) { return only != s->Name(); }),
                      all.end());
    }
};

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

// Stands in for the controller: writes one byte when asked, 4.5 ms later, from a thread of its
// own, as a device's bytes come from elsewhere than the receiving thread. Within a stream the port
// gathers bytes for four character times (4.2 ms at 9600 bit/s); spaced a little wider, every
// byte is the first after a quiet spell.
class DeviceWriter {
public:
    DeviceWriter() : thread_([this] { Run(); }) {}
    ~DeviceWriter()
    {
        Ask(-1);
        thread_.join();
    }
    // Returns at once; the byte goes out 4.5 ms later.
    void Ask(int fd)
    {
        fd_ = fd;
        turn_.fetch_add(1);
        syscall(SYS_futex, &turn_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
    Clock::time_point SentAt() const { return Clock::time_point{Clock::duration{sentNs_.load()}}; }

private:
    void Run()
    {
        for (std::uint32_t seen = 0;;) {
            std::uint32_t now;
            while ((now = turn_.load()) == seen)
                syscall(SYS_futex, &turn_, FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
            seen = now;
            const int fd = fd_.load();
            if (fd < 0)
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(4500));
            sentNs_ = Clock::now().time_since_epoch().count();
            WriteAll(fd, "a", 1);
        }
    }
    std::atomic<std::uint32_t> turn_{0};
    std::atomic<int> fd_{-1};
    std::atomic<Clock::rep> sentNs_{0};
    std::thread thread_;
};

// Every subject is open at once, each on its own pty, and they take turns in blocks of `block`
// bytes, so that the machine's noise, which comes and goes over seconds, falls on all of them
// alike. Blocks of many bytes show each port as an application with one port sees it (its threads
// settle where its own traffic puts them); byte by byte, the next byte always follows another
// subject's, and where the threads last ran depends on the others ("latency-turns").
// `fromReceiver`: the receiving (GUI) thread writes the byte itself, as the first version of this
// bench did; it favours a reader that runs on that thread, since the pty's wake-up then never
// crosses to another CPU ("latency-own").
void Latency(int samples, int block, bool fromReceiver, const std::string& only)
{
    Subjects s(true, only);
    const size_t n = s.all.size();
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<std::unique_ptr<Arrivals>> got;
    for (size_t k = 0; k < n; ++k) {
        ptys.push_back(std::make_unique<Pty>());
        got.push_back(std::make_unique<Arrivals>());
        s.all[k]->Open(ptys[k]->path, 9600, got[k]->Callback());
    }
    std::unique_ptr<DeviceWriter> writer;
    if (!fromReceiver)
        writer = std::make_unique<DeviceWriter>();
    std::vector<std::vector<double>> us(n);
    for (int done = 0; done < samples; done += block) {
        for (size_t j = 0; j < n; ++j) {
            const size_t k = (j + static_cast<size_t>(done / block)) % n;   // each goes first in turn
            // The first few of a block do not count: they show where the previous one left off.
            const int warmUp = block > 1 ? 5 : 0;
            for (int i = -warmUp; i < std::min(block, samples - done); ++i) {
                const long long want = got[k]->bytes + 1;
                Clock::time_point t0;
                if (writer) {
                    writer->Ask(ptys[k]->master);
                    got[k]->WaitFor(want);
                    t0 = writer->SentAt();
                } else {
                    std::this_thread::sleep_for(std::chrono::microseconds(4500));
                    t0 = Clock::now();
                    WriteAll(ptys[k]->master, "a", 1);
                    got[k]->WaitFor(want);
                }
                const Clock::time_point t1{Clock::duration{got[k]->lastNs.load()}};
                if (i >= 0)
                    us[k].push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            }
        }
    }
    writer.reset();
    const char* label = fromReceiver ? "latency-own" : block == 1 ? "latency-turns" : "latency";
    for (size_t k = 0; k < n; ++k) {
        s.all[k]->Close();
        std::printf("%-13s %-12s: %zu bytes 4.5 ms apart, in blocks of %d, median %.1f us, p99 %.1f us, max %.1f us\n",
                    label, s.all[k]->Name(), us[k].size(), block, Percentile(us[k], 0.5), Percentile(us[k], 0.99),
                    Percentile(us[k], 1.0));
    }
}

struct Usage {
    double cpu;
    long wakeUps;   // voluntary context switches of every thread
    static Usage Now(int who = RUSAGE_SELF)
    {
        rusage u{};
        getrusage(who, &u);
        return {u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
                u.ru_nvcsw};
    }
    Usage operator-(const Usage& o) const { return {cpu - o.cpu, wakeUps - o.wakeUps}; }
};

void Throughput(size_t total, int rounds, const std::string& only)
{
    // A pty takes data at memory speed; the line is set to the fastest standard rate so that the
    // receive hold-off (a few character times) is that of a fast line, not of 9600 bit/s.
    Subjects s(true, only);
    std::vector<std::vector<double>> rates(s.all.size());
    std::vector<long long> batches(s.all.size());
    std::vector<Usage> used(s.all.size());   // by the receiving side: all but the writer
    const std::vector<char> block(4096, 'x');
    for (int r = 0; r < rounds; ++r) {
        // Every other round in reverse order: a subject that runs right after another finds the
        // machine warmed up by it.
        for (size_t i = 0; i < s.all.size(); ++i) {
            const size_t k = r % 2 == 0 ? i : s.all.size() - 1 - i;
            Pty pty;
            Arrivals got;
            s.all[k]->Open(pty.path, 256000, got.Callback());
            const Usage u0 = Usage::Now();
            const auto t0 = Clock::now();
            Usage writing{};
            std::thread writer([&] {
                for (size_t sent = 0; sent < total; sent += block.size())
                    WriteAll(pty.master, block.data(), std::min(block.size(), total - sent));
                writing = Usage::Now(RUSAGE_THREAD);
            });
            got.WaitFor(static_cast<long long>(total));
            const double sec = std::chrono::duration<double>(Clock::now() - t0).count();
            writer.join();
            const Usage u = Usage::Now() - u0 - writing;
            used[k].cpu += u.cpu;
            used[k].wakeUps += u.wakeUps;
            rates[k].push_back(total / 1048576.0 / sec);
            batches[k] += got.batches;
            s.all[k]->Close();
        }
    }
    // CPU and wake-ups of the receiving threads per batch depend far less on the machine's other
    // load than the rate does.
    for (size_t k = 0; k < s.all.size(); ++k) {
        const double n = static_cast<double>(std::max(1LL, batches[k]));
        std::printf("throughput %-12s: %.1f MiB x %d, median %.1f MiB/s (%.1f..%.1f), %.0f bytes a batch, "
                    "%.1f us CPU and %.2f wake-ups a batch, line at 256000 bit/s\n",
                    s.all[k]->Name(), total / 1048576.0, rounds, Percentile(rates[k], 0.5),
                    Percentile(rates[k], 0.0), Percentile(rates[k], 1.0), double(total) * rounds / n,
                    used[k].cpu / n * 1e6, used[k].wakeUps / n);
    }
}

void IdleCpu(int seconds, const std::string& only)
{
    Subjects s(false, only);
    for (auto& subject : s.all) {
        Pty pty;
        Arrivals got;
        subject->Open(pty.path, 9600, got.Callback());
        QEventLoop settle;
        QTimer::singleShot(200, &settle, &QEventLoop::quit);
        settle.exec();
        const Usage u0 = Usage::Now();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const Usage u1 = Usage::Now();
        // The GUI thread's own wake-up at the end of the wait is not the port's.
        std::printf("idle       %-12s: %.4f s CPU over %d s (%.4f %%), %ld wake-ups besides the timer's\n",
                    subject->Name(), u1.cpu - u0.cpu, seconds, (u1.cpu - u0.cpu) / seconds * 100,
                    std::max(0L, u1.wakeUps - u0.wakeUps - 1));
        subject->Close();
    }
}
// CPU of the whole process while the event loop serves `seconds` with nothing to do.
double CpuWhileServing(int seconds)
{
    const Usage u0 = Usage::Now();
    Spin(seconds * 1000);
    return Usage::Now().cpu - u0.cpu;
}

void Report(const char* what, double used, int seconds)
{
    std::printf("%-10s: %.4f s over %d s (%.4f %%)\n", what, used, seconds, used / seconds * 100);
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
    bool quick = false;
    std::string part;   // latency, throughput or idle; all by default
    std::string only;   // one subject
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick")
            quick = true;
        else if (arg == "--subject" && i + 1 < argc)
            only = argv[++i];
        else if (arg == "--part" && i + 1 < argc)
            part = argv[++i];
        else {
            std::fprintf(stderr, "usage: serial_bench [--quick] [--subject port|port-no-hop|QSerialPort] [--part latency|throughput|idle]\n");
            return 2;
        }
    }
    if (part.empty() || part == "latency") {
        Latency(quick ? 500 : 5000, quick ? 125 : 250, false, only);
        Latency(quick ? 200 : 1500, 1, false, only);
        Latency(quick ? 200 : 1000, quick ? 50 : 250, true, only);
    }
    if (part.empty() || part == "throughput")
        Throughput(quick ? (1u << 20) : (8u << 20), quick ? 3 : 15, only);
    if (part.empty() || part == "idle") {
        IdleCpu(quick ? 1 : 10, only);
        UnreadCpu(quick ? 1 : 5);
        HangupCpu(quick ? 1 : 5);
    }
    return 0;
}
