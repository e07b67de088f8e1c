// The two ways the console ends by itself: the first run through the naming dialog, and RC-5
// learning answered by keys typed into the terminal.
#include "ConsoleSession.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <set>

using namespace e2e;

namespace {

TEST(FirstRunE2e, NamingDialogWritesTheSettingsAndEndsTheProgram)
{
    ASSERT_TRUE(MissingTools().isEmpty())
        << "not installed (scripts/setup-deps installs them): " << MissingTools().join(QLatin1Char(' ')).toStdString();
    ConsoleSession s;
    QString error;
    ASSERT_TRUE(s.Start({"--no-pacing"}, ConsoleSession::Settings::None, &error))
        << error.toStdString();

    const qulonglong dialog = s.x.WaitWindow(QStringLiteral("^Nadaj nazwy \\.\\.\\.$"), 6000);
    ASSERT_NE(dialog, 0u) << "no naming dialog on the first run\n" << s.console.Output().toStdString();
    EXPECT_GE(NowUs() - s.startedUs, 1'400'000) << "the dialog comes after the 1.5 s timer";

    // The port: the simulator's link, typed over the proposed "COM1".
    s.x.Click(dialog, 150 + 60, 371 + 11);
    s.x.Key(QStringLiteral("ctrl+a"));
    s.x.Type(QString::fromStdString(s.sim->LinkPath()));
    // Input 1 and output 2 renamed in their boxes; the rest keep the proposed names.
    s.x.Click(dialog, 8 + 100, 24 + 100);
    s.x.Key(QStringLiteral("ctrl+Home"));
    s.x.Key(QStringLiteral("shift+End"));
    s.x.Type(QStringLiteral("Salon"));
    s.x.Click(dialog, 218 + 100, 24 + 100);
    s.x.Key(QStringLiteral("ctrl+Home"));
    s.x.Key(QStringLiteral("Down"));
    s.x.Key(QStringLiteral("shift+End"));
    s.x.Type(QStringLiteral("Lampa"));
    s.x.Click(dialog, 8 + 200, 403 + 22);

    ASSERT_TRUE(s.DismissMessage(3000)) << "no restart message";
    ASSERT_TRUE(s.console.WaitExit(5000)) << "the program did not end after saving";
    EXPECT_EQ(s.console.ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(s.console.ExitCode(), 0);

    const QByteArray bytes = ReadFileBytes(s.dir.filePath(QStringLiteral("config.ini")));
    EXPECT_EQ(bytes.count("\r\n"), 37) << "37 lines, each ended by CR LF";
    EXPECT_TRUE(bytes.contains("1 urz\xb9" "dzenie\r\n")) << "the Polish names in Windows-1250";
    const QStringList lines = ReadSettingsLines(s.dir.path());
    ASSERT_EQ(lines.size(), 37);
    EXPECT_EQ(lines[0], QStringLiteral("----------"));
    EXPECT_EQ(lines[1], QString::fromStdString(s.sim->LinkPath()));
    EXPECT_EQ(lines[3], QStringLiteral("Salon"));
    EXPECT_EQ(lines[4], QStringLiteral("2 wejście"));
    EXPECT_EQ(lines[18], QStringLiteral("16 wejście"));
    EXPECT_EQ(lines[19], QStringLiteral("----------"));
    EXPECT_EQ(lines[20], QStringLiteral("----------"));
    EXPECT_EQ(lines[21], QStringLiteral("1 urządzenie"));
    EXPECT_EQ(lines[22], QStringLiteral("Lampa"));
    EXPECT_EQ(lines[36], QStringLiteral("16 urządzenie"));

    // The first run opens no port and sends nothing.
    const auto log = s.sim->Log();
    EXPECT_FALSE(HasEvent(log, "peer opened"));
    EXPECT_TRUE(Bytes(log, 'R').empty());
}

TEST(LearningE2e, KeysTypedInTheTerminalAnswerTheController)
{
    ASSERT_TRUE(MissingTools().isEmpty())
        << "not installed (scripts/setup-deps installs them): " << MissingTools().join(QLatin1Char(' ')).toStdString();
    ConsoleSession s;
    QString error;
    ASSERT_TRUE(s.Start({"--no-pacing", "--learning-step-ms", "150"}, ConsoleSession::Settings::Unlocked, &error))
        << error.toStdString();
    const qulonglong w = s.MainWindow(10000);
    ASSERT_NE(w, 0u) << s.console.Output().toStdString();
    s.WaitIntroOver();
    ASSERT_TRUE(s.WaitDisplays("", "", 3000).valid) << "the main window is not in view";
    const QImage before = Crop(s.GrabMain(), layout::Terminal());

    // A reply in flight when learning starts would restart the polling under the terminal
    // (its '!' does that, as designed); a quiet moment of the controller lets the cycle wait.
    s.sim->Command("silent on");
    SleepMs(600);
    s.sim->Command("silent off");
    s.sim->Status();
    const int64_t startUs = NowUs();
    s.x.Click(w, layout::LearningStart().x(), layout::LearningStart().y());
    ASSERT_TRUE(WaitFor([&] { return HasEvent(s.sim->Log(), "learning started", startUs); }, 3000, kPollMs));
    SleepMs(1200);   // the console clears the screen again 800 ms after "R"

    // The terminal covers the window and shows the controller's text.
    const QImage terminal = Crop(s.GrabMain(), layout::Terminal());
    EXPECT_GT(Difference(terminal, before), 0.2) << "the terminal panel is not shown";
    std::set<QRgb> colours;
    for (int y = 0; y < terminal.height(); ++y)
        for (int x = 0; x < terminal.width(); ++x)
            colours.insert(terminal.pixel(x, y));
    EXPECT_GT(colours.size(), 3u) << "the terminal shows no text";

    // Fifteen keys teach outputs 1 to 15; a space skips output 16.
    const QString keys = QStringLiteral("abcdefghijklmno");
    for (const QChar key : keys) {
        s.x.Type(QString(key));
        SleepMs(300);
    }
    s.x.Key(QStringLiteral("space"));
    ASSERT_TRUE(WaitFor([&] { return HasEvent(s.sim->Log(), "learning finished, 15 codes", startUs); }, 5000, kPollMs))
        << "the controller did not get the keys";

    const auto log = s.sim->Log();
    std::string sent = ByteString(Bytes(log, 'R', startUs));
    EXPECT_EQ(sent, "R" + keys.toStdString() + " ") << "only the keys, once each; no polling";
    EXPECT_EQ(s.sim->Status().learning, "waiting-reset");

    // "Zamknij okno " tells the user to reset the controller and ends the program.
    s.x.Click(w, layout::TerminalClose().x(), layout::TerminalClose().y());
    ASSERT_TRUE(s.DismissMessage(3000)) << "no reset message";
    ASSERT_TRUE(s.console.WaitExit(5000)) << "the program did not end";
    EXPECT_EQ(s.console.ExitCode(), 0);
    EXPECT_TRUE(WaitFor([&] { return HasEvent(s.sim->Log(), "peer closed", startUs); }, 3000, kPollMs));
}

}  // namespace
