#include "CommandLine.h"
#include "CtlFailure.h"
#include "ProgressBar.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <limits>
#include <vector>
#include <string>

namespace {

TCtlRequest Parse(const std::vector<const char*>& args)
{
    QStringList list;
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return ParseCommandLine(list);
}

TEST(CommandLine, ReadsEveryCommandWithItsOptionsAnywhere)
{
    TCtlRequest r = Parse({"out", "16", "toggle", "--port=COM3", "--timeout", "250"});
    EXPECT_EQ(r.command, TCommand::Out);
    EXPECT_EQ(r.output, 16);
    EXPECT_EQ(r.outAction, TOutAction::Toggle);
    EXPECT_EQ(r.port, QStringLiteral("COM3"));
    EXPECT_EQ(r.timeoutMs, 250);

    r = Parse({"--port", "/dev/ttyUSB0", "mode", "next"});
    EXPECT_EQ(r.command, TCommand::Mode);
    EXPECT_FALSE(r.mode.has_value());
    r = Parse({"--port", "x", "mode", "Tylko pilot i komputer"});
    EXPECT_EQ(r.mode, ControllerProtocol::Mode::RemoteOnly);
    r = Parse({"--port", "x", "mode", "Remote-First"});
    EXPECT_EQ(r.mode, ControllerProtocol::Mode::RemoteFirst);

    r = Parse({"--port", "x", "routing", "get", "--names", "config.ini"});
    EXPECT_EQ(r.command, TCommand::RoutingGet);
    EXPECT_EQ(r.namesFile, QStringLiteral("config.ini"));
    EXPECT_TRUE(r.file.isEmpty());
    r = Parse({"--port", "x", "routing", "set", "--force", "--", "--odd-name"});
    EXPECT_EQ(r.command, TCommand::RoutingSet);
    EXPECT_TRUE(r.force);
    EXPECT_EQ(r.file, QStringLiteral("--odd-name"));

    // Help needs no port, for the tool or for one command.
    EXPECT_EQ(Parse({"help", "routing"}).command, TCommand::Routing);
    EXPECT_TRUE(Parse({"watch", "--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
}

TEST(CommandLine, RefusesWhatItCannotDoWithTheUsageCode)
{
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"status"},                                   // no port
        {"--port", "x", "out", "17", "on"},
        {"--port", "x", "out", "3", "dim"},
        {"--port", "x", "out", "3"},
        {"--port", "x", "mode", "turbo"},
        {"--port", "x", "routing"},
        {"--port", "x", "routing", "copy", "a"},
        {"--port", "x", "routing", "set"},
        {"--port", "x", "routing", "get", "--force"},
        {"--port", "x", "status", "--names", "c.ini"},
        {"--port", "x", "status", "now"},
        {"--port", "x", "--timeout", "0", "status"},
        {"--port", "x", "--verbose", "status"},
        {"--port"},
        {"--port", "x", "reboot"},
    };
    for (const auto& args : bad) {
        try {
            Parse(args);
            std::string line;
            for (const char* a : args)
                line += std::string(a) + ' ';
            ADD_FAILURE() << "accepted: " << line;
        } catch (const ECtlFailure& e) {
            EXPECT_EQ(e.Code(), TExitCode::Usage);
            EXPECT_TRUE(e.Message().contains(QLatin1String("--help"))) << e.Message().toStdString();
        }
    }
}

TEST(ProgressBar, FillsInProportionAndKeepsItsWidth)
{
    EXPECT_EQ(TProgressBar::Line(QStringLiteral("w"), 0, 256, 8), QStringLiteral("w [        ]   0/256"));
    EXPECT_EQ(TProgressBar::Line(QStringLiteral("w"), 128, 256, 8), QStringLiteral("w [####    ] 128/256"));
    EXPECT_EQ(TProgressBar::Line(QStringLiteral("w"), 256, 256, 8), QStringLiteral("w [########] 256/256"));
}

}  // namespace
