// selvora-ctl as a script runs it: the built program against the simulated controller.
#include "ComPort.h"
#include "RoutingBackup.h"
#include "SimLog.h"
#include "SimRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
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

    // The simulator with this routing table (write order), outputs and mode; `script` holds
    // control commands, kept running well past the test.
    void StartSim(const std::string& routing = std::string(256, '0'),
                  const std::string& outputs = std::string(16, '0'), int mode = 0,
                  const QStringList& extra = {}, const QString& script = QString())
    {
        QFile state(Path("sim.state"));
        ASSERT_TRUE(state.open(QIODevice::WriteOnly));
        state.write(QStringLiteral("selvora-sim-state 1\nmode %1\noutputs %2\nrouting %3\n")
                        .arg(mode)
                        .arg(QString::fromStdString(outputs), QString::fromStdString(routing))
                        .toUtf8());
        state.close();
        QStringList args{QStringLiteral("--state"), state.fileName()};
        if (!script.isEmpty()) {
            QFile file(Path("sim.script"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write((script + QStringLiteral("\nwait 600000\n")).toUtf8());
            args << QStringLiteral("--script") << file.fileName();
        }
        sim = std::make_unique<SimRunner>(SimRunner::FromBuildDir(), dir.path());
        ASSERT_TRUE(sim->Start(args + extra)) << sim->Error().toStdString();
    }

    CtlResult Ctl(const QStringList& args, const QString& port = QString())
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QElapsedTimer t;
        t.start();
        p.start(CtlProgram(), QStringList{QStringLiteral("--port"), port.isEmpty() ? sim->Link() : port} + args);
        EXPECT_TRUE(p.waitForFinished(60000)) << "selvora-ctl did not end";
        CtlResult r;
        r.ms = t.elapsed();
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    // A field of the simulator's saved state ("outputs", "routing", "mode").
    std::string SimState(const std::string& field) const
    {
        QFile f(Path("sim.state"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith(field + ' '))
                return line.mid(static_cast<int>(field.size()) + 1).toStdString();
        return {};
    }

    std::string Received() const
    {
        std::string s;
        for (const simlog::Byte& b : simlog::ReceivedBytes(sim->Log().toStdString()))
            s.push_back(static_cast<char>(b.value));
        return s;
    }

    QTemporaryDir dir;
    std::unique_ptr<SimRunner> sim;
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
    StartSim(std::string(256, '0'), "1000000000000001", 1, {QStringLiteral("--announce-mode")},
             QStringLiteral("in 3 on"));
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
    EXPECT_EQ(SimState("outputs"), "0011000000000000");

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
    EXPECT_EQ(SimState("mode"), "0");
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
    EXPECT_EQ(SimState("routing"), wanted);

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
    EXPECT_EQ(got.port, sim->Link());

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
    EXPECT_EQ(SimState("routing"), table);
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
    holder.SetPort(sim->Link());
    ASSERT_NO_THROW(holder.SetConnected(true));
    r = Ctl({QStringLiteral("status")});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("in use"), std::string::npos) << r.err;
    holder.SetConnected(false);
}

TEST_F(CtlSim, AReplyThatNeverComesEndsWithTheTimeOutCode)
{
    StartSim(std::string(256, '0'), std::string(16, '0'), 0, {}, QStringLiteral("silent on"));
    const CtlResult r = Ctl({QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("status")});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("did not answer \"x\""), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_LT(r.ms, 5000);
}

TEST_F(CtlSim, WatchPrintsEachChangeUntilInterrupted)
{
    StartSim(std::string(256, '0'), std::string(16, '0'), 0, {}, QStringLiteral("wait 700\nin 2 on\nremote 5"));
    QProcess watch;
    watch.start(CtlProgram(), {QStringLiteral("--port"), sim->Link(), QStringLiteral("watch")});
    QString out;
    auto seen = [&](const char* text) {
        return QTest::qWaitFor([&] {
            out += QString::fromUtf8(watch.readAllStandardOutput());
            return out.contains(QLatin1String(text));
        }, 5000);
    };
    EXPECT_TRUE(seen(" outputs 0000000000000000\n")) << out.toStdString();
    EXPECT_TRUE(seen(" input 2 on\n")) << out.toStdString();
    EXPECT_TRUE(seen(" output 5 on\n")) << out.toStdString();
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

}  // namespace
