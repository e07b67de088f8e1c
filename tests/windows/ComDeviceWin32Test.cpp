// The Win32 device against the simulator through a COM port (scripts/test-windows maps the
// simulator's pty to it): KONF_TEST_COM_PORT names the port, KONF_SIM_CONTROL the file whose
// lines the simulator takes as control commands.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QThread>
#include <atomic>
#include <string>
#include <thread>

#include "ComDeviceWin32.h"
#include "ComPort.h"
#include "ConsolePortSettings.h"
#include "EComPort.h"
#include "WaitFor.h"

namespace {

QString ComPortName()
{
    return qEnvironmentVariable("KONF_TEST_COM_PORT", QStringLiteral("COM5"));
}

void TellSimulator(const char* command)
{
    QFile control(qEnvironmentVariable("KONF_SIM_CONTROL"));
    ASSERT_TRUE(control.open(QIODevice::Append)) << "KONF_SIM_CONTROL";
    control.write(command);
    control.write("\n");
}

// The bytes a port delivers, and on which thread its handlers ran.
struct Received {
    std::string bytes;
    bool offGuiThread = false;

    void Attach(TComPort& port)
    {
        port.OnRxChar = [this](TCustomComPort* sender, int count) {
            offGuiThread |= QThread::currentThread() != qApp->thread();
            std::string chunk(static_cast<std::size_t>(count), '\0');
            const int n = sender->ReadBuffer(chunk.data(), count);
            bytes.append(chunk.data(), static_cast<std::size_t>(std::max(n, 0)));
        };
    }
    bool Has(std::size_t n) { return WaitFor([&] { return bytes.size() >= n; }, 3000); }
};

bool IsOutputReply(const std::string& s)
{
    return s.size() == 17 && s.back() == '!' && s.find_first_not_of("01") == 16;
}

}  // namespace

TEST(ComDeviceWin32, OpensAt9600WritesAndDeliversRepliesInOrderOnTheGuiThread)
{
    TComPort port;
    ConfigureAsConsole(port, ComPortName());
    Received rx;
    rx.Attach(port);
    port.SetConnected(true);
    ASSERT_TRUE(port.Connected());

    // Outputs (16 digits and '!'), then inputs (16 digits), each asked after the last reply.
    port.WriteText("x");
    ASSERT_TRUE(rx.Has(17)) << rx.bytes;
    port.WriteText("q");
    ASSERT_TRUE(rx.Has(33)) << rx.bytes;
    EXPECT_TRUE(IsOutputReply(rx.bytes.substr(0, 17))) << rx.bytes;
    EXPECT_EQ(rx.bytes.substr(17).find_first_not_of("01"), std::string::npos) << rx.bytes;
    EXPECT_FALSE(rx.offGuiThread);
    // A line without modem lines reports none rather than failing.
    EXPECT_TRUE(port.LineSignals().Empty());
    port.SetConnected(false);
}

TEST(ComDeviceWin32, ASecondOpenIsRefusedAsInUse)
{
    TComPort first;
    ConfigureAsConsole(first, ComPortName());
    first.SetConnected(true);
    TComPort second;
    ConfigureAsConsole(second, ComPortName());
    try {
        second.SetConnected(true);
        FAIL() << "opened twice";
    } catch (const EComPort& e) {
        // Windows says access denied, Wine a sharing violation: both mean "held by another".
        EXPECT_EQ(ClassifyOpenError(e.SystemCode()), ComOpenRefusal::InUse) << e.what();
    }
    EXPECT_FALSE(second.Connected());
    first.SetConnected(false);
}

TEST(ComDeviceWin32, AQuietLineCostsAFewWakeUpsAndStillReportsTheNextByte)
{
    ComDeviceWin32 device;
    ASSERT_TRUE(device.Open(DevicePathForPort(ComPortName()))) << device.LastError();
    TComDcb dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = TComDcb::fBinary;
    ASSERT_TRUE(device.SetState(dcb)) << device.LastError();
    ASSERT_TRUE(device.SetTimeouts(TComTimeoutRecord{}));
    ASSERT_TRUE(device.SetEventMask(ComEv::RxChar));

    ComStopSignal stop;
    std::atomic<std::uint32_t> seen{0};
    std::thread waiter([&] {
        for (;;) {
            std::uint32_t events = 0;
            if (device.WaitEvents(stop, &events) != ComDevice::WaitResult::Events)
                return;
            seen |= events;
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int quietCompletions = device.WaitCompletions();

    char q = 'q';
    ComIo write;
    write.isWrite = true;
    write.data = &q;
    write.size = 1;
    ASSERT_TRUE(device.StartIo(write) && device.FinishIo(write)) << device.LastError();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!(seen & ComEv::RxChar) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop.Set();
    waiter.join();

    // Wine ends a quiet wait every 5-8 ms (150-200 a second); Windows not at all.
    EXPECT_LE(quietCompletions, 30);
    EXPECT_TRUE(seen & ComEv::RxChar);
    // The reply's first bytes made the event; all 16 come at the line's pace.
    int queued = 0;
    const auto replyDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (device.QueueCounts(&queued, nullptr) && queued < 16 && std::chrono::steady_clock::now() < replyDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(queued, 16);
    device.Close();
}

TEST(ComDeviceWin32, ALostLineIsReportedOnceAndThePortOpensAgain)
{
    TComPort port;
    ConfigureAsConsole(port, ComPortName());
    Received rx;
    rx.Attach(port);
    int lost = 0;
    QObject::connect(&port, &TCustomComPort::HungUp, [&] { ++lost; });
    port.SetConnected(true);

    TellSimulator("hangup 1500");
    ASSERT_TRUE(WaitFor([&] { return lost > 0; }, 5000));
    Spin(300);
    EXPECT_EQ(lost, 1);
    port.SetConnected(false);

    // Back once the simulator publishes its line again.
    const bool reopened = WaitFor([&] {
        try {
            port.SetConnected(true);
            return true;
        } catch (const EComPort&) {
            return false;
        }
    }, 8000, 100);
    ASSERT_TRUE(reopened);
    const std::size_t before = rx.bytes.size();
    port.WriteText("x");
    ASSERT_TRUE(rx.Has(before + 17)) << rx.bytes;
    EXPECT_TRUE(IsOutputReply(rx.bytes.substr(before, 17))) << before << " bytes before: " << rx.bytes;
    port.SetConnected(false);
}
