// The cost of live terminal input at the controller's line speed: a pseudo-terminal feeds a
// shown terminal control, linked to an open port, one byte every 1.0417 ms (9600 bit/s 8N1),
// as during remote-control learning. Prints the CPU the receiving process spends per second of
// input, in percent of one core, next to the same process idle. LIVE_HIDDEN=1 leaves the control
// hidden, which separates the cost of painting from that of delivery. Paints offscreen unless
// QT_QPA_PLATFORM says otherwise (live-on-x11 runs it on a virtual X server).
#include <QApplication>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "ComPort.h"
#include "ComTerminal.h"

namespace {

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Text like the controller's learning dialogue: clear, cursor moves, colours, lines.
std::string DialogueText()
{
    std::string s;
    for (int step = 1; step <= 16; ++step) {
        s += "_\x1b[2J\x1b[1;1H\x1b[1;33mNauka pilota RC-5\x1b[0m\r\n\r\n";
        s += "\x1b[5;3HNaci\x9cnij na pilocie klawisz dla wyj\x9c" "cia " + std::to_string(step) + "\r\n";
        s += "\x1b[7;3H\x1b[32mOdebrano kod: " + std::to_string(step * 7 % 64) + "\x1b[0m\r\n";
        s += "\x1b[9;3HSpacja pomija wyj\x9c" "cie.\r\n";
    }
    return s;
}

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);

    TComPort port;
    port.SetPort(QString::fromLocal8Bit(name));
    TComTerminal terminal;
    terminal.setGeometry(8, 24, 593, 313);
    terminal.SetComPort(&port);
    terminal.SetScrollBars(ssVertical);
    terminal.SetSmoothScroll(true);
    terminal.SetWrapLines(true);
    long long chars = 0;
    terminal.OnChar = [&chars](TCustomComTerminal*, char) { ++chars; };
    if (!qEnvironmentVariableIsSet("LIVE_HIDDEN"))
        terminal.show();
    port.SetConnected(true);

    // Idle first: the same process with the port open and nothing arriving.
    RunFor(500);
    double cpu0 = CpuSeconds(RUSAGE_SELF);
    RunFor(seconds * 1000);
    const double idle = CpuSeconds(RUSAGE_SELF) - cpu0;

    const std::string text = DialogueText();
    std::atomic<bool> stop{false};
    std::atomic<double> writerCpu{0};
    long long sent = 0;
    std::thread writer([&] {
        const auto pitch = std::chrono::nanoseconds(1041667);
        auto next = std::chrono::steady_clock::now();
        std::size_t i = 0;
        while (!stop) {
            next += pitch;
            std::this_thread::sleep_until(next);
            if (::write(master, &text[i], 1) == 1) {
                ++sent;
                i = (i + 1) % text.size();
            }
        }
        writerCpu = CpuSeconds(RUSAGE_THREAD);
    });
    cpu0 = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    RunFor(seconds * 1000);
    stop = true;
    writer.join();
    RunFor(100);
    const double busy = CpuSeconds(RUSAGE_SELF) - cpu0 - writerCpu;
    const double wallS = wall.elapsed() / 1000.0;

    std::printf("live terminal input at 9600 bit/s, %d s, shown control (%s platform)\n", seconds,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  bytes fed %lld, characters raised %lld\n", sent, chars);
    std::printf("  idle: %.3f %% of one core\n", 100.0 * idle / seconds);
    std::printf("  input cost: %.3f %% of one core per second of input (%.3f s in %.1f s)\n",
                100.0 * busy / wallS, busy, wallS);
    port.SetConnected(false);
    ::close(master);
    ::close(slave);
    return 0;
}
