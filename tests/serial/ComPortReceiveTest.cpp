// The event thread and the receive path on real pseudo-terminals.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>
#include <vector>
#include <atomic>
#include <mutex>
#include <thread>

#include "SerialTestUtil.h"
#include "TestApplication.h"

namespace {
class ExposedPort : public TComPort {
public:
    using TCustomComPort::HandleEvents;
};

struct Opened {
    PtyPair pty;
    ExposedPort port;
    explicit Opened(TSyncMethod sync = smThreadSync)
    {
        ConfigureAsConsole(port, pty);
        port.SetSyncMethod(sync);
    }
    void Open() { port.SetConnected(true); }
};
}  // namespace

TEST(ComPortReceive, TwoLinksShareOneReadInAttachmentOrder)
{
    Opened o;
    QStringList order;
    const char* seen[2] = {nullptr, nullptr};
    std::string got[2];
    TComLink a, b, silent;
    a.OnRxBuf = [&](TCustomComPort*, const char* buf, int n) { order << "a"; seen[0] = buf; got[0].append(buf, n); };
    b.OnRxBuf = [&](TCustomComPort*, const char* buf, int n) { order << "b"; seen[1] = buf; got[1].append(buf, n); };
    silent.OnRxActivity = [&](TCustomComPort*, bool on) { if (on) order << "activity"; };
    int rxChar = 0;
    o.port.OnRxBuf = [&](TCustomComPort*, const char*, int) { order << "port"; };
    o.port.OnRxChar = [&](TCustomComPort*, int) { ++rxChar; };
    o.port.AttachLink(&silent);
    o.port.AttachLink(&a);
    o.port.AttachLink(&b);
    o.Open();

    o.pty.Write("hello");
    ASSERT_TRUE(WaitFor([&] { return got[1].size() >= 5; }));
    EXPECT_EQ(got[0], "hello");
    EXPECT_EQ(got[1], "hello");
    EXPECT_EQ(order.mid(0, 4), (QStringList{"activity", "port", "a", "b"}));
    EXPECT_EQ(seen[0], seen[1]);   // the same buffer: one read for all links
    EXPECT_EQ(rxChar, 0);
    EXPECT_EQ(o.port.InputQueueLength(), 0);
    for (TComLink* l : {&silent, &a, &b})
        o.port.DetachLink(l);
}

TEST(ComPortReceive, WithoutATakingLinkTheCountGrowsAndNothingSpins)
{
    Opened o;
    QList<int> counts;
    o.port.OnRxChar = [&](TCustomComPort*, int n) { counts << n; };
    bool portRxBuf = false;
    o.port.OnRxBuf = [&](TCustomComPort*, const char*, int) { portRxBuf = true; };
    // A link that assigns OnRxBuf only after attaching does not make the port read.
    TComLink late;
    o.port.AttachLink(&late);
    std::string lateGot;
    late.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { lateGot.append(b, n); };
    o.Open();

    o.pty.Write("abc");
    ASSERT_TRUE(WaitFor([&] { return !counts.isEmpty(); }));
    Spin(50);
    o.pty.Write("de");
    ASSERT_TRUE(WaitFor([&] { return !counts.isEmpty() && counts.last() == 5; }));

    // Bytes left unread must not make the event thread spin: no event without new bytes.
    Spin(500);
    EXPECT_EQ(counts.last(), 5);
    for (int i = 1; i < counts.size(); ++i)
        EXPECT_GT(counts[i], counts[i - 1]) << "an event without new bytes";
    EXPECT_FALSE(portRxBuf);
    EXPECT_TRUE(lateGot.empty());

    char buf[16];
    EXPECT_EQ(o.port.ReadBuffer(buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "abcde");

    // Once read, new bytes are news again; re-attaching the link makes it take them.
    o.port.DetachLink(&late);
    o.port.AttachLink(&late);
    o.pty.Write("f");
    ASSERT_TRUE(WaitFor([&] { return lateGot == "f"; }));
    o.port.SetConnected(false);
    o.port.DetachLink(&late);
}

TEST(ComPortReceive, AnEmptyQueueTellsNothing)
{
    Opened o;
    QStringList calls;
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort*, const char*, int) { calls << "rxbuf"; };
    l.OnRxActivity = [&](TCustomComPort*, bool) { calls << "activity"; };
    o.port.OnRxChar = [&](TCustomComPort*, int) { calls << "rxchar"; };
    o.port.AttachLink(&l);
    o.Open();
    o.port.HandleEvents(TComEvents{evRxChar});
    Spin(50);
    EXPECT_TRUE(calls.isEmpty()) << calls.join(",").toStdString();
    o.port.SetConnected(false);
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, NoEventsMeansNoThreadAndNoData)
{
    Opened o;
    o.port.SetEvents(TComEvents{});
    std::string got;
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { got.append(b, n); };
    o.port.AttachLink(&l);
    o.Open();
    EXPECT_TRUE(o.port.Connected());
    o.pty.Write("zz");
    Spin(150);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(o.port.InputQueueLength(), 2);
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, EverySyncMethodDeliversOnItsThread)
{
    for (TSyncMethod sync : {smThreadSync, smWindowSync, smNone}) {
        Opened o(sync);
        std::mutex m;
        std::string got;
        std::atomic<bool> onMain{true};
        QThread* main = QThread::currentThread();
        TComLink l;
        l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) {
            std::lock_guard<std::mutex> lock(m);
            got.append(b, n);
            if (QThread::currentThread() != main)
                onMain = false;
        };
        o.port.AttachLink(&l);
        o.Open();
        o.pty.Write("sync");
        EXPECT_TRUE(WaitFor([&] { std::lock_guard<std::mutex> lock(m); return got.size() >= 4; })) << sync;
        {
            std::lock_guard<std::mutex> lock(m);
            EXPECT_EQ(got, "sync") << sync;
        }
        EXPECT_EQ(onMain.load(), sync != smNone) << sync;
        o.port.SetConnected(false);
        o.port.DetachLink(&l);
    }
}

TEST(ComPortReceive, TxEmptyFollowsAWriteAndRxFlagFollowsItsChar)
{
    Opened o;
    QStringList log;
    TComLink l;
    l.OnTxActivity = [&](TCustomComPort*, bool on) { log << QString("tx:%1").arg(on); };
    l.OnTxBuf = [&](TCustomComPort*, const char* b, int n) { log << "sent:" + QString::fromLatin1(b, n); };
    l.OnTxEmpty = [&](TCustomComPort*) { log << "link.txempty"; };
    l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { log << "rx:" + QString::fromLatin1(b, n); };
    l.OnRxFlag = [&](TCustomComPort*) { log << "link.rxflag"; };
    o.port.OnTxEmpty = [&](TCustomComPort*) { log << "txempty"; };
    o.port.OnRxFlag = [&](TCustomComPort*) { log << "rxflag"; };
    o.port.SetEventChar('!');
    o.port.AttachLink(&l);
    o.Open();

    EXPECT_EQ(o.port.WriteText("go"), 2);
    ASSERT_TRUE(WaitFor([&] { return log.contains("txempty"); }));
    EXPECT_EQ(log, (QStringList{"tx:1", "sent:go", "tx:0", "link.txempty", "txempty"}));
    log.clear();

    o.pty.Write("hi");
    ASSERT_TRUE(WaitFor([&] { return log.contains("rx:hi"); }));
    Spin(50);
    EXPECT_FALSE(log.contains("rxflag"));
    o.pty.Write("yes!");
    ASSERT_TRUE(WaitFor([&] { return log.contains("rxflag"); }));
    const int rx = log.indexOf("rx:yes!"), linkFlag = log.indexOf("link.rxflag"), flag = log.indexOf("rxflag");
    EXPECT_TRUE(rx >= 0 && rx < linkFlag && linkFlag < flag) << log.join(",").toStdString();
    o.port.SetConnected(false);
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, DiscardNullDropsZeroBytes)
{
    Opened o;
    o.port.SetDiscardNull(true);
    std::string got;
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { got.append(b, n); };
    o.port.AttachLink(&l);
    o.Open();
    o.pty.Write(std::string("a\0b\0\0c", 6));
    ASSERT_TRUE(WaitFor([&] { return got.size() >= 3; }));
    Spin(30);
    EXPECT_EQ(got, "abc");
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, AnExceptionInAHandlerIsReportedAndDeliveryGoesOn)
{
    Opened o;
    TestApplication::TakeReportedErrors();
    std::string got;
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) {
        got.append(b, n);
        if (got == "1")
            throw std::runtime_error("handler failed");
    };
    o.port.AttachLink(&l);
    o.Open();
    o.pty.Write("1");
    ASSERT_TRUE(WaitFor([&] { return !got.empty(); }));
    Spin(30);
    o.pty.Write("2");
    ASSERT_TRUE(WaitFor([&] { return got == "12"; }));
    EXPECT_EQ(TestApplication::TakeReportedErrors(), QStringList{"handler failed"});
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, HangUpEndsTheThreadQuietly)
{
    auto pty = std::make_unique<PtyPair>();
    TComPort port;
    ConfigureAsConsole(port, *pty);
    int hungUp = 0;
    QObject::connect(&port, &TCustomComPort::HungUp, [&] { ++hungUp; });
    port.SetConnected(true);
    pty->Write("x");
    Spin(50);

    pty->CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return hungUp > 0; }));
    EXPECT_TRUE(port.Connected());

    Spin(500);
    EXPECT_EQ(hungUp, 1);

    try {
        port.WriteText("late");
        FAIL() << "a write after a hang-up must fail";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 2);
    }
    // A writer that shares the line hears the same failure as a reason, not an exception.
    std::string why;
    EXPECT_FALSE(port.WriteBytes("late", why));
    EXPECT_NE(why.find("(win error code: "), std::string::npos) << why;
    QElapsedTimer t;
    t.start();
    port.SetConnected(false);
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_FALSE(port.Connected());

    // The device is back (here: a new one): the same object opens again and works.
    pty = std::make_unique<PtyPair>();
    port.SetPort(QString::fromStdString(pty->SlavePath()));
    port.SetConnected(true);
    EXPECT_EQ(port.WriteText("again"), 5);
    EXPECT_TRUE(port.WriteBytes("!", why));
    EXPECT_EQ(pty->Read(6), "again!");
    EXPECT_EQ(hungUp, 1);
}

TEST(ComPortReceive, CloseWhileADeliveryWaitsNeitherDeadlocksNorRunsLateHandlers)
{
    Opened o;
    QStringList log;
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { log << "rx:" + QString::fromLatin1(b, n); };
    o.port.OnAfterClose = [&](TCustomComPort*) { log << "AfterClose"; };
    o.port.AttachLink(&l);
    o.Open();

    // The GUI thread does not serve events, so the event thread sits in its hand-over.
    o.pty.Write("pending");
    QThread::msleep(150);
    QElapsedTimer t;
    t.start();
    o.port.SetConnected(false);
    EXPECT_LT(t.elapsed(), 2000);
    Spin(100);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.last(), "AfterClose") << log.join(",").toStdString();
    EXPECT_EQ(log.count("AfterClose"), 1);
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, CloseFromInsideAHandlerDoesNotDeadlock)
{
    for (TSyncMethod sync : {smThreadSync, smNone}) {
    Opened o(sync);
    std::atomic<bool> closedInHandler{false};
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort* sender, const char*, int) {
        sender->SetConnected(false);
        closedInHandler = !sender->Connected();
    };
    o.port.AttachLink(&l);
    o.Open();
    o.pty.Write("q");
    ASSERT_TRUE(WaitFor([&] { return closedInHandler.load(); }, 3000)) << sync;
    EXPECT_FALSE(o.port.Connected());
    o.port.DetachLink(&l);
    // The same object opens again afterwards.
    o.Open();
    EXPECT_EQ(o.port.WriteText("r"), 1);
    }
}

TEST(ComPortReceive, AFullReceiveQueueKeepsFlowingToTheEnd)
{
    // The sender fills the driver's queue faster than it is read; every byte must arrive, also
    // those that come in while a delivery runs.
    Opened o;
    std::string got;
    TComLink l;
    l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { got.append(b, n); };
    o.port.AttachLink(&l);
    o.Open();
    std::string sent;
    for (int i = 0; i < (256 << 10); ++i)
        sent.push_back(static_cast<char>('a' + i % 23));
    std::thread writer([&] { o.pty.Write(sent); });
    const bool all = WaitFor([&] { return got.size() >= sent.size(); }, 10000);
    writer.join();
    ASSERT_TRUE(all) << got.size() << " of " << sent.size();
    EXPECT_TRUE(got == sent);
    o.port.DetachLink(&l);
}

TEST(ComPortReceive, BytesArrivingDuringAHandlerMakeTheirOwnEvent)
{
    // Asking for the queue length inside a handler must not swallow the receive event of bytes
    // that came in after the event was raised.
    Opened o;
    QList<int> counts;
    std::string got;
    o.port.OnRxChar = [&](TCustomComPort* port, int n) {
        counts << n;
        if (counts.size() == 1) {
            o.pty.Write("more");
            QThread::msleep(30);
            EXPECT_EQ(port->InputQueueLength(), n + 4);
        }
        char buf[64];
        const int r = port->ReadBuffer(buf, n);
        got.append(buf, r);
    };
    o.Open();
    o.pty.Write("first");
    ASSERT_TRUE(WaitFor([&] { return got == "firstmore"; })) << got;
    EXPECT_EQ(counts, (QList<int>{5, 4}));
    o.port.SetConnected(false);
}

TEST(ComPortReceive, AStreamAtLineSpeedArrivesWholeInBatchesAndALoneByteOnItsOwn)
{
    Opened o;   // 9600 bit/s: one character every 1.04 ms
    std::string got;
    int deliveries = 0;
    std::vector<int> batches;
    TComLink link;
    link.OnRxBuf = [&](TCustomComPort*, const char* buf, int n) {
        got.append(buf, n);
        ++deliveries;
        batches.push_back(n);
    };
    o.port.AttachLink(&link);
    o.Open();

    // 200 bytes at the line's pace, written from another thread as a controller would send.
    std::string sent;
    for (int i = 0; i < 200; ++i)
        sent += static_cast<char>('A' + i % 26);
    std::thread writer([&] {
        auto next = std::chrono::steady_clock::now();
        for (char ch : sent) {
            next += std::chrono::microseconds(1042);
            std::this_thread::sleep_until(next);
            o.pty.Write(std::string(1, ch));
        }
    });
    ASSERT_TRUE(WaitFor([&] { return got.size() >= sent.size(); }, 5000));
    writer.join();
    EXPECT_EQ(got, sent);
    // Gathered a few characters at a time, not one hand-over per byte: a reply-sized start in
    // small batches, so a reply's end is seen quickly, and a long stream in larger ones.
    EXPECT_LE(deliveries, 30) << deliveries << " deliveries";
    std::vector<int> early;   // the batches of the first 32 bytes
    for (int n = 0, i = 0; n < 32 && i < static_cast<int>(batches.size()); ++i) {
        early.push_back(batches[i]);
        n += batches[i];
    }
    ASSERT_GE(early.size(), 3u);
    std::sort(early.begin(), early.end());   // the median, so one scheduling stall does not count
    EXPECT_LE(early[early.size() / 2], 6) << "batches early in the stream";
    EXPECT_GE(*std::max_element(batches.begin(), batches.end()), 30) << "no larger batches later";

    // After a quiet spell (longer than a long stream's batching) a single byte is handed on
    // without waiting for company; how soon is a figure of bench/serial.
    Spin(100);
    o.pty.Write("!");
    ASSERT_TRUE(WaitFor([&] { return got.size() == 201; }, 1000));
    o.port.DetachLink(&link);
}

TEST(ComPortReceive, ASlowLinesStreamEndsWithoutASecondsLongHoldOff)
{
    // At 300 bit/s, 64 character times are 2.1 s: a stream's tail must still come promptly.
    Opened o;
    o.port.SetBaudRate(br300);
    std::string got;
    TComLink link;
    link.OnRxBuf = [&](TCustomComPort*, const char* buf, int n) { got.append(buf, n); };
    o.port.AttachLink(&link);
    o.Open();

    std::string sent(40, 'x');   // past the reply-sized start, into the long batches
    std::atomic<qint64> lastWriteMs{0};
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        auto next = std::chrono::steady_clock::now();
        for (char ch : sent) {
            next += std::chrono::microseconds(33333);
            std::this_thread::sleep_until(next);
            o.pty.Write(std::string(1, ch));
            lastWriteMs = clock.elapsed();
        }
    });
    ASSERT_TRUE(WaitFor([&] { return got.size() >= sent.size(); }, 5000));
    const qint64 tailMs = clock.elapsed() - lastWriteMs;
    writer.join();
    EXPECT_EQ(got, sent);
    EXPECT_LT(tailMs, 700) << "the last byte waited out a hold-off of many character times";
    o.port.DetachLink(&link);
}

// The event thread reuses one hand-over signal: clearing it must make the next wait block again,
// or the thread would run ahead of the handlers it hands events to; a stop must end a wait.
TEST(ComPortReceive, AHandOverSignalClearsWaitsAgainAndYieldsToAStop)
{
    ComHandoverSignal done;
    EXPECT_FALSE(done.IsSet());
    done.Set();
    done.Set();
    EXPECT_TRUE(done.IsSet());
    done.Wait();   // already taken: returns at once
    done.Clear();
    EXPECT_FALSE(done.IsSet());

    for (bool interrupt : {false, true}) {
        std::atomic<bool> returned{false};
        std::thread waiter([&] { done.Wait(); returned = true; });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(returned.load()) << "a cleared signal did not hold the wait";
        if (interrupt)
            done.Interrupt();
        else
            done.Set();
        waiter.join();
        EXPECT_TRUE(returned.load());
        EXPECT_EQ(done.IsSet(), !interrupt);
        done.Clear();
    }
}

// Bytes faster than the line are followed on the GUI thread while the event thread waits; the
// following must end with the stream whatever ends it: a write's notice, a close from a handler,
// a hang-up.
TEST(ComPortReceive, AFastStreamIsFollowedToItsEndHoweverItEnds)
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        warnings << m;
    });
    std::string sent;
    for (int i = 0; i < (512 << 10); ++i)
        sent.push_back(static_cast<char>('a' + i % 23));
    // Opens the port and writes the whole stream from another thread; true once it came in order.
    auto streamWhole = [&sent](Opened& o, const std::string& got) -> testing::AssertionResult {
        o.Open();
        std::thread writer([&] { o.pty.Write(sent); });
        const bool all = WaitFor([&] { return got.size() >= sent.size(); }, 10000);
        writer.join();
        if (got != sent)
            return testing::AssertionFailure() << (all ? "out of order: " : "incomplete: ") << got.size();
        return testing::AssertionSuccess();
    };

    {   // a write in the middle of a stream gets its TX-empty notice, a handler's failure is
        // reported once; every byte arrives in order
        Opened o;
        TestApplication::TakeReportedErrors();
        std::string got;
        int txEmpty = 0;
        TComLink l;
        l.OnRxBuf = [&](TCustomComPort* port, const char* b, int n) {
            const size_t before = got.size();
            got.append(b, n);
            if (before < (64u << 10) && got.size() >= (64u << 10))
                port->WriteText("ack");
            if (before < (256u << 10) && got.size() >= (256u << 10))
                throw std::runtime_error("handler failed");
        };
        o.port.OnTxEmpty = [&](TCustomComPort*) { ++txEmpty; };
        o.port.AttachLink(&l);
        ASSERT_TRUE(streamWhole(o, got));
        EXPECT_TRUE(WaitFor([&] { return txEmpty > 0; }, 1000));
        EXPECT_EQ(o.pty.Read(3), "ack");
        EXPECT_EQ(TestApplication::TakeReportedErrors(), QStringList{"handler failed"});
        o.port.SetConnected(false);
        o.port.DetachLink(&l);
    }
    {   // without links, each count told is there to be read in full
        Opened o;
        std::string got;
        int shortReads = 0;
        o.port.OnRxChar = [&](TCustomComPort* port, int count) {
            std::string part(static_cast<size_t>(count), '\0');
            const int n = port->ReadBuffer(part.data(), count);
            shortReads += n != count;
            got.append(part.data(), static_cast<size_t>(std::max(n, 0)));
        };
        ASSERT_TRUE(streamWhole(o, got));
        EXPECT_EQ(shortReads, 0);
        o.port.SetConnected(false);
    }
    // Closed mid-stream, between two batches (as by the user) or from a handler inside the stream:
    // nothing after the close; the port opens and hears again.
    for (const bool fromHandler : {false, true}) {
        Opened o;
        QStringList log;
        std::string got;
        bool closeNow = true;
        TComLink l;
        l.OnRxBuf = [&](TCustomComPort* port, const char* b, int n) {
            log << "rx";
            got.append(b, n);
            if (fromHandler && closeNow && got.size() >= (128u << 10)) {
                closeNow = false;
                port->SetConnected(false);
            }
        };
        o.port.OnAfterClose = [&](TCustomComPort*) { log << "AfterClose"; };
        o.port.AttachLink(&l);
        o.Open();
        std::atomic<bool> written{false};
        std::thread writer([&] {
            o.pty.Write(sent);
            written = true;
        });
        ASSERT_TRUE(WaitFor([&] {
            if (!fromHandler && got.size() >= (128u << 10))
                o.port.SetConnected(false);
            return !o.port.Connected();
        }, 10000)) << fromHandler;
        Spin(100);
        EXPECT_EQ(log.last(), "AfterClose") << fromHandler;
        closeNow = false;
        got.clear();
        o.Open();   // takes the rest of the stream, which frees the writer
        const bool rest = WaitFor([&] { return written.load(); }, 10000);
        writer.join();
        ASSERT_TRUE(rest) << fromHandler;
        o.pty.Write("again");
        EXPECT_TRUE(WaitFor([&] { return got.size() >= 5 && got.compare(got.size() - 5, 5, "again") == 0; }))
            << fromHandler;
        o.port.SetConnected(false);
        o.port.DetachLink(&l);
    }
    {   // the device goes away mid-stream: one hang-up notice, and what came is the stream's start
        auto pty = std::make_unique<PtyPair>();
        TComPort port;
        ConfigureAsConsole(port, *pty);
        std::string got;
        int hungUp = 0;
        TComLink l;
        l.OnRxBuf = [&](TCustomComPort*, const char* b, int n) { got.append(b, n); };
        QObject::connect(&port, &TCustomComPort::HungUp, [&] { ++hungUp; });
        port.AttachLink(&l);
        port.SetConnected(true);
        std::thread writer([&] {
            pty->Write(sent.substr(0, 128 << 10));
            pty->CloseMaster();
        });
        const bool seen = WaitFor([&] { return hungUp > 0; }, 10000);
        writer.join();
        ASSERT_TRUE(seen);
        Spin(200);
        EXPECT_EQ(hungUp, 1);
        EXPECT_EQ(sent.compare(0, got.size(), got), 0);
        port.SetConnected(false);
        port.DetachLink(&l);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}
