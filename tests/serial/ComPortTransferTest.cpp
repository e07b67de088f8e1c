// Writing, reading, time-outs and the failure codes of the transfer operations.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cerrno>
#include <thread>

#include "SerialTestUtil.h"

namespace {
template <typename F>
int CodeOf(F&& f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return e.Code();
    }
    return 0;
}

struct Quiet {
    PtyPair pty;
    TComPort port;
    Quiet()
    {
        ConfigureAsConsole(port, pty);
        port.SetEvents(TComEvents{});   // nothing reads behind the test's back
    }
};
}  // namespace

TEST(ComPortWrite, SendsExactlyTheTextsBytes)
{
    Quiet q;
    q.port.SetConnected(true);
    EXPECT_EQ(q.port.WriteText("x"), 1);
    EXPECT_EQ(q.pty.Drain(), "x");
    EXPECT_EQ(q.port.WriteText(std::string("c\x00\xff", 3)), 3);
    EXPECT_EQ(q.pty.Drain(), std::string("c\x00\xff", 3));

    QStringList log;
    TComLink l;
    l.OnTxActivity = [&](TCustomComPort*, bool on) { log << QString("tx:%1").arg(on); };
    l.OnTxBuf = [&](TCustomComPort*, const char*, int) { log << "sent"; };
    q.port.AttachLink(&l);
    EXPECT_EQ(q.port.WriteText(""), 0);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(q.pty.Drain(), "");
    q.port.DetachLink(&l);
}

TEST(ComPortWrite, OnAClosedPortEveryOperationFailsWithItsCode)
{
    TComPort port;
    try {
        port.WriteText("x");
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 2);
        EXPECT_EQ(e.SystemCode(), EBADF);
        EXPECT_EQ(std::string(e.what()), "WriteFile function failed (win error code: " + std::to_string(EBADF) + ")");
    }
    char buf[4];
    EXPECT_EQ(CodeOf([&] { port.ReadBuffer(buf, 4); }), 3);
    EXPECT_EQ(CodeOf([&] { port.InputQueueLength(); }), 10);
    EXPECT_EQ(CodeOf([&] { port.TakeLineErrors(); }), 10);
    EXPECT_EQ(CodeOf([&] { port.LineSignals(); }), 11);
    EXPECT_EQ(CodeOf([&] { port.CancelTransfers(); }), 5);
    EXPECT_EQ(CodeOf([&] { port.WriteBufferAsync("a", 1, nullptr); }), 4);
    EXPECT_EQ(CodeOf([&] { port.ReadBufferAsync(buf, 1, nullptr); }), 4);
    EXPECT_EQ(CodeOf([&] { port.WaitForTransfer(nullptr); }), 4);
}

TEST(ComPortWrite, AWriteThatCannotFinishReturnsWhatTheDeviceTook)
{
    Quiet q;
    q.port.Timeouts()->SetWriteTotalMultiplier(0);
    q.port.Timeouts()->SetWriteTotalConstant(300);
    q.port.SetConnected(true);
    // Nobody reads the master: the pty fills up and the rest cannot be sent.
    const std::string big(4 << 20, 'z');
    QElapsedTimer t;
    t.start();
    const int n = q.port.WriteText(big);
    const qint64 ms = t.elapsed();
    EXPECT_GT(n, 0);
    EXPECT_LT(n, static_cast<int>(big.size()));
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 2000);
    EXPECT_EQ(q.pty.Drain(50, 5000).size(), static_cast<size_t>(n));
}

TEST(ComPortWrite, AsyncPairAndLinkNotices)
{
    Quiet q;
    q.port.SetConnected(true);
    std::string sent;
    TComLink l;
    l.OnTxBuf = [&](TCustomComPort*, const char* b, int n) { sent.append(b, n); };
    q.port.AttachLink(&l);
    TComTransfer* t = nullptr;
    TCustomComPort::InitTransfer(t);
    const int now = q.port.WriteTextAsync("async", t);
    EXPECT_TRUE(sent.empty());   // told only once the write has completed
    EXPECT_EQ(q.port.WaitForTransfer(t), 5);
    EXPECT_LE(now, 5);
    EXPECT_EQ(sent, "async");
    TCustomComPort::DoneTransfer(t);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(q.pty.Read(5), "async");
    q.port.DetachLink(&l);
}

TEST(ComPortRead, DefaultTimeoutsReturnAtOnceWithWhatIsQueued)
{
    Quiet q;
    q.port.SetConnected(true);
    QList<bool> activity;
    TComLink l;
    l.OnRxActivity = [&](TCustomComPort*, bool on) { activity << on; };
    q.port.AttachLink(&l);
    char buf[64];
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(q.port.ReadBuffer(buf, sizeof buf), 0);
    EXPECT_LT(t.elapsed(), 100);
    EXPECT_EQ(activity, QList<bool>{false});
    activity.clear();

    q.pty.Write("abcdef");
    ASSERT_TRUE(WaitFor([&] { return q.port.InputQueueLength() == 6; }));
    EXPECT_EQ(q.port.ReadBuffer(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_TRUE(activity.isEmpty());   // two bytes still wait
    EXPECT_EQ(q.port.ReadBuffer(buf, sizeof buf), 2);
    EXPECT_EQ(activity, QList<bool>{false});   // the read emptied the queue
    q.port.DetachLink(&l);
}

TEST(ComPortRead, TotalTimeoutWaitsForTheRest)
{
    Quiet q;
    q.port.Timeouts()->SetReadInterval(0);
    q.port.Timeouts()->SetReadTotalConstant(400);
    q.port.SetConnected(true);
    char buf[8];
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(q.port.ReadBuffer(buf, 8), 0);
    EXPECT_GE(t.elapsed(), 350);

    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        q.pty.Write("12345678");
    });
    t.restart();
    EXPECT_EQ(q.port.ReadBuffer(buf, 8), 8);
    EXPECT_LT(t.elapsed(), 350);
    late.join();
    EXPECT_EQ(std::string(buf, 8), "12345678");
}

TEST(ComPortLine, APtyHasNoModemLinesAndNoErrors)
{
    Quiet q;
    q.port.FlowControl()->SetControlDTR(dtrEnable);   // held on a device without lines: no failure
    q.port.SetConnected(true);
    EXPECT_TRUE(q.port.LineSignals().Empty());
    EXPECT_TRUE(q.port.TakeLineErrors().Empty());
    EXPECT_NO_THROW(q.port.CancelTransfers());
}
