#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QThread>
#include <functional>
#include <sys/resource.h>
#include <termios.h>

#include "ComPort.h"
#include "PtyPair.h"

// Serves the GUI thread's events until the condition holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Runs the GUI thread's event loop for a while (sleeping while there is nothing to do).
inline void ServeFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU seconds (user + system) the whole process has used so far.
inline double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A port set up as the console sets up its own, on the slave side of a pty.
inline void ConfigureAsConsole(TCustomComPort& port, const PtyPair& pty)
{
    port.SetBaudRate(br9600);
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.Parity()->SetBits(prNone);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    port.SetEvents(AllComEvents);
    port.FlowControl()->SetOutCTSFlow(false);
    port.FlowControl()->SetOutDSRFlow(false);
    port.FlowControl()->SetControlDTR(dtrDisable);
    port.FlowControl()->SetControlRTS(rtsDisable);
    port.FlowControl()->SetXonXoffOut(false);
    port.FlowControl()->SetXonXoffIn(false);
}

// The line settings as the driver holds them (the master side reports the slave's).
inline termios LineOf(const PtyPair& pty)
{
    termios t{};
    tcgetattr(pty.MasterFd(), &t);
    return t;
}
