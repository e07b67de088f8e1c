// selvora-ctl as a script runs it: the built program against the simulated controller.
#include "ComPort.h"
#include "RoutingBackup.h"
#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>

namespace {

struct CtlResult {
    int code = -1;
    std::string out;
    std::string err;
    qint64 ms = 0;
};

class CtlSim : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    static QString CtlProgram()
    {
        const QString build = qEnvironmentVariable("KONF_BUILD_DIR");
        return QDir(build.isEmpty() ? QStringLiteral(".") : build).filePath(QStringLiteral("selvora-ctl"));
    }

    // The simulator with this routing table (write order), outputs and mode.
    void StartSim(const std::string& routing = std::string(256, '0'),
                  const std::string& outputs = std::string(16, '0'), int mode = 0,
                  const std::vector<std::string>& extra = {})
    {
        QFile state(Path("sim.state"));
        ASSERT_TRUE(state.open(QIODevice::WriteOnly));
        state.write(("selvora-sim-state 1\nmode " + std::to_string(mode) + "\noutputs " + outputs +
                     "\nrouting " + routing + "\n")
                        .c_str());
        state.close();
        std::vector<std::string> options{"--state", state.fileName().toStdString()};
        options.insert(options.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim.Start(options)) << sim.Error();
    }

    QString Link() const { return QString::fromStdString(sim.LinkPath()); }

    CtlResult Ctl(const QStringList& args, const QString& port = QString())
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QElapsedTimer t;
        t.start();
        p.start(CtlProgram(), QStringList{QStringLiteral("--port"), port.isEmpty() ? Link() : port} + args);
        EXPECT_TRUE(p.waitForFinished(60000)) << "selvora-ctl did not end";
        CtlResult r;
        r.ms = t.elapsed();
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    // What the controller has received so far.
    std::string Received() const { return ByteString(Bytes(sim.Log(), 'R')); }

    QTemporaryDir dir;
    SimulatorProcess sim{dir.path().toStdString()};
};

// A table with connections here and there, in write order (output by output, input 1 first).
std::string Pattern(int seed)
{
    std::string s(256, '0');
    for (int p = 0; p < 256; ++p)
        if ((p * 7 + seed) % 11 == 0)
            s[p] = '1';
    return s;
}

Routing::TRoutingBackup BackupOf(const std::string& wire)
{
    Routing::TRoutingBackup b;
    for (int p = 0; p < 256; ++p)
        b.cells.Set(Routing::InputOfPosition(p), Routing::OutputOfPosition(p), wire[p] == '1');
    return b;
}

TEST_F(CtlSim, StatusPrintsOutputsInputsAndTheAnnouncedMode)
{
    StartSim(std::string(256, '0'), "1000000000000001", 1, {"--announce-mode"});
    sim.Command("in 3 on");
    ASSERT_EQ(sim.Status().inputs, "0010000000000000");
    const CtlResult r = Ctl({QStringLiteral("status")});
    EXPECT_EQ(r.code, 0) << r.err;
    // The announcement arrives as the reply is asked for and must not take a state's place.
    EXPECT_EQ(r.out, "outputs 1000000000000001\ninputs 0010000000000000\nmode remote-first\n");
    EXPECT_EQ(Received(), "xq");
}

TEST_F(CtlSim, OutputsAreSwitchedOnlyWhenTheyAreNotAlreadySo)
{
    StartSim(std::string(256, '0'), "0010000000000000");
    CtlResult r = Ctl({QStringLiteral("out"), QStringLiteral("3"), QStringLiteral("on")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "output 3 on\n");
    r = Ctl({QStringLiteral("out"), QStringLiteral("4"), QStringLiteral("off")});
    EXPECT_EQ(r.out, "output 4 off\n");
    EXPECT_EQ(Received(), "xx");   // read, and nothing sent

    r = Ctl({QStringLiteral("out"), QStringLiteral("4"), QStringLiteral("on")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Received(), "xxx3x");   // read, switch, confirm
    EXPECT_EQ(sim.Status().outputs, "0011000000000000");

    // Without an announcement the mode cannot be known.
    r = Ctl({QStringLiteral("status")});
    EXPECT_EQ(r.out, "outputs 0011000000000000\ninputs 0000000000000000\nmode unknown\n");
}

TEST_F(CtlSim, ModeStepsOneAnswerAtATimeUntilItIsReached)
{
    StartSim();
    CtlResult r = Ctl({QStringLiteral("mode"), QStringLiteral("next")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "mode remote-first\n");
    r = Ctl({QStringLiteral("mode"), QStringLiteral("equal-inputs")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "mode equal-inputs\n");
    EXPECT_EQ(Received(), "QQQ");
    EXPECT_EQ(sim.Status().mode, 0);
}

// One write at the real pace (about 27 s), then the table read back into a backup file.
TEST_F(CtlSim, RoutingSetThenGetGivesTheSameTable)
{
    StartSim(Pattern(1));
    const std::string wanted = Pattern(2);
    ASSERT_NO_THROW(Routing::SaveBackup(Path("wanted.txt"), BackupOf(wanted)));
    int added = 0, removed = 0;
    for (int p = 0; p < 256; ++p) {
        added += Pattern(1)[p] == '0' && wanted[p] == '1';
        removed += Pattern(1)[p] == '1' && wanted[p] == '0';
    }

    CtlResult r = Ctl({QStringLiteral("routing"), QStringLiteral("set"), Path("wanted.txt"), QStringLiteral("--force")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "routing: " + std::to_string(added) + " added, " + std::to_string(removed) +
                         " removed\nrouting saved\n");
    EXPECT_EQ(r.err, "");   // no progress bar on a pipe
    EXPECT_GE(r.ms, 26600);
    EXPECT_EQ(sim.Status().routing, wanted);

    QFile config(Path("config.ini"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    for (int i = 0; i < 38; ++i)
        config.write(QStringLiteral("line %1\r\n").arg(i).toUtf8());
    config.close();
    r = Ctl({QStringLiteral("routing"), QStringLiteral("get"), QStringLiteral("--names"), config.fileName(), Path("got.txt")});
    EXPECT_EQ(r.code, 0) << r.err;
    const Routing::TRoutingBackup got = Routing::LoadBackup(Path("got.txt"));
    EXPECT_TRUE(got.cells == BackupOf(wanted).cells);
    EXPECT_EQ(got.inputNames.value(0), QStringLiteral("line 3"));
    EXPECT_EQ(got.outputNames.value(15), QStringLiteral("line 36"));
    EXPECT_EQ(got.port, Link());

    // To standard output: the same file, byte for byte.
    r = Ctl({QStringLiteral("routing"), QStringLiteral("get"), QStringLiteral("--names"), config.fileName()});
    QFile gotFile(Path("got.txt"));
    ASSERT_TRUE(gotFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(r.out, gotFile.readAll().toStdString());
}

TEST_F(CtlSim, RoutingSetRemovesConnectionsOnlyWithForce)
{
    StartSim(Pattern(1));
    ASSERT_NO_THROW(Routing::SaveBackup(Path("empty.txt"), BackupOf(std::string(256, '0'))));
    const std::string table = Pattern(1);
    const long held = std::count(table.begin(), table.end(), '1');
    const CtlResult r = Ctl({QStringLiteral("routing"), QStringLiteral("set"), Path("empty.txt")});
    EXPECT_EQ(r.code, 7);
    EXPECT_EQ(r.out, "routing: 0 added, " + std::to_string(held) + " removed\n");
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(Received(), "C");
    EXPECT_EQ(sim.Status().routing, table);
}

TEST_F(CtlSim, PortAndFileProblemsHaveTheirOwnCodes)
{
    CtlResult r = Ctl({QStringLiteral("status")}, Path("no-such-port"));
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;

    // A bad file is found before the port is touched.
    r = Ctl({QStringLiteral("routing"), QStringLiteral("set"), Path("no-such-file")}, Path("no-such-port"));
    EXPECT_EQ(r.code, 5) << r.err;

    StartSim();
    TComPort holder;
    holder.SetPort(Link());
    ASSERT_NO_THROW(holder.SetConnected(true));
    r = Ctl({QStringLiteral("status")});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("in use"), std::string::npos) << r.err;
    holder.SetConnected(false);
}

TEST_F(CtlSim, AReplyThatNeverComesEndsWithTheTimeOutCode)
{
    StartSim();
    sim.Command("silent on");
    ASSERT_TRUE(sim.Status().valid);
    const CtlResult r = Ctl({QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("status")});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("did not answer \"x\""), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_LT(r.ms, 5000);
}

TEST_F(CtlSim, WatchPrintsEachChangeUntilInterrupted)
{
    StartSim();
    QProcess watch;
    watch.start(CtlProgram(), {QStringLiteral("--port"), Link(), QStringLiteral("watch")});
    std::string out;
    auto seen = [&](const char* text) {
        return WaitFor([&] {
            out += watch.readAllStandardOutput().toStdString();
            return out.find(text) != std::string::npos;
        }, 5000, 5);
    };
    EXPECT_TRUE(seen(" inputs 0000000000000000\n")) << out;
    sim.Command("in 2 on");
    EXPECT_TRUE(seen(" input 2 on\n")) << out;
    sim.Command("remote 5");
    EXPECT_TRUE(seen(" output 5 on\n")) << out;
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

}  // namespace
