// The console as a user meets it, against the simulated controller: one start serves the
// checks below, in this order (each leaves the console unlocked and polling; the last ends it).
#include "ConsoleSession.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <set>

using namespace e2e;

namespace {

class ConsoleE2e : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session_ = new ConsoleSession;
        if (!MissingTools().isEmpty()) {
            startError_ = QStringLiteral("not installed (scripts/setup-deps installs them): ")
                + MissingTools().join(QLatin1Char(' '));
            return;
        }
        // A file as the naming dialog writes it (37 lines): the console starts locked.
        if (!session_->Start({"--no-pacing", "--save-ms", "100"}, ConsoleSession::Settings::Locked, &startError_))
            return;
        if (!session_->MainWindow(10000))
            startError_ = QStringLiteral("the main window did not appear:\n") + session_->console.Output();
    }
    static void TearDownTestSuite()
    {
        if (session_)
            session_->Stop();
        delete session_;
        session_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(startError_.isEmpty()) << startError_.toStdString();
        ASSERT_TRUE(s().console.Running()) << s().console.Output().toStdString();
    }

    static ConsoleSession& s() { return *session_; }
    static qulonglong Main() { return s().MainWindow(); }
    static void Click(const QPoint& p) { s().x.Click(Main(), p.x(), p.y()); }
    // The mouse rests where it hovers over nothing that is compared.
    static void ParkMouse() { s().x.MoveMouse(Main(), 300, 362); }
    static void EnsureUnlocked()
    {
        if (s().LockScreenShown()) {
            ASSERT_TRUE(s().Unlock(UnlockCodeFor(QDate::currentDate())));
        }
        ParkMouse();
    }

    static ConsoleSession* session_;
    static QString startError_;
};

ConsoleSession* ConsoleE2e::session_ = nullptr;
QString ConsoleE2e::startError_;

TEST_F(ConsoleE2e, TitleIsTheClockWithTodaysDateAndTime)
{
    const QString name = s().x.WindowName(Main());
    const QString today = QLocale::c().toString(QDate::currentDate(), QLocale::ShortFormat);
    const QString prefix = QStringLiteral("Selvora - konfigurator (") + today + QLatin1Char(' ');
    ASSERT_TRUE(name.startsWith(prefix)) << name.toStdString();
    ASSERT_TRUE(name.endsWith(QLatin1Char(')'))) << "nothing may follow the clock: " << name.toStdString();
    const QString time = name.mid(prefix.size(), name.size() - prefix.size() - 1);
    // The long time format of the C locale without its time zone: hours, minutes, seconds.
    const QTime shown = QTime::fromString(time, QStringLiteral("HH:mm:ss"));
    ASSERT_TRUE(shown.isValid()) << time.toStdString();
    EXPECT_LE(std::abs(shown.secsTo(QTime::currentTime())), 2) << time.toStdString();

    // It ticks: a second later the title has changed.
    EXPECT_TRUE(WaitFor([&] { return s().x.WindowName(Main()) != name; }, 1500, kPollMs));
}

TEST_F(ConsoleE2e, PollingCycleAlternatesOutputsAndInputsWith200msGaps)
{
    s().WaitIntroOver();
    // From 6 s on, past the one extra input request at 5 s.
    const auto rx = Bytes(s().sim->Log(), 'R', s().startedUs + 6'000'000);
    std::vector<SimLogRecord> polls;
    for (const SimLogRecord& r : rx)
        if (r.byte == 'x' || r.byte == 'q')
            polls.push_back(r);
    ASSERT_GE(polls.size(), 20u) << "requests seen: " << ByteString(rx);
    std::vector<double> gaps;
    for (size_t i = 1; i < polls.size(); ++i) {
        EXPECT_NE(polls[i].byte, polls[i - 1].byte) << "requests do not alternate at " << i;
        gaps.push_back((polls[i].us - polls[i - 1].us) / 1000.0);
    }
    std::sort(gaps.begin(), gaps.end());
    const double median = gaps[gaps.size() / 2];
    // 200 ms timers plus the reply: never sooner. How close the cycle keeps to its period is a
    // figure of bench/console, where a loaded machine cannot fail the suite.
    EXPECT_GE(gaps.front(), 195.0);
    EXPECT_GE(median, 199.0);
    std::printf("[ figures  ] polling gaps: min %.1f ms, median %.1f ms, max %.1f ms over %zu gaps\n",
                gaps.front(), median, gaps.back(), gaps.size());
}

TEST_F(ConsoleE2e, StartsLockedAndOpensOnlyWithTodaysCode)
{
    s().WaitIntroOver();
    ASSERT_TRUE(WaitFor([] { return s().LockScreenShown(); }, 2000, kPollMs))
        << "a 37-line settings file must start locked";
    // The controls beneath are out of reach: a click on output 1's place sends nothing.
    const int64_t before = NowUs();
    Click(layout::OutputButton(1));
    SleepMs(300);
    for (const SimLogRecord& r : Bytes(s().sim->Log(), 'R', before))
        EXPECT_TRUE(r.byte == 'x' || r.byte == 'q') << "sent through the lock screen: " << r.byte;

    const QString code = UnlockCodeFor(QDate::currentDate());
    const QByteArray fileBefore = ReadFileBytes(s().dir.filePath(QStringLiteral("config.ini")));
    EXPECT_FALSE(s().Unlock(code + QLatin1Char(' '))) << "a trailing blank must be refused";
    EXPECT_FALSE(s().Unlock(UnlockCodeFor(QDate::currentDate().addDays(-1))));
    EXPECT_EQ(ReadFileBytes(s().dir.filePath(QStringLiteral("config.ini"))), fileBefore);
    EXPECT_FALSE(s().x.WaitWindow(kMessageBoxName, 300)) << "a wrong code is refused silently";

    ASSERT_TRUE(s().Unlock(code));
    const QStringList lines = ReadSettingsLines(s().dir.path());
    ASSERT_EQ(lines.size(), 38);
    EXPECT_EQ(lines[37], QStringLiteral("----------"));
    EXPECT_EQ(lines[1], QString::fromStdString(s().sim->LinkPath()));
    EXPECT_EQ(lines[21], QStringLiteral("Wyjscie 1"));
}

TEST_F(ConsoleE2e, OutputButtonTogglesTheOutputAndItsIndicatorFollows)
{
    s().WaitIntroOver();
    EnsureUnlocked();
    const SimStatus st = s().sim->Status();
    ASSERT_TRUE(st.valid);
    const Displays first = s().WaitDisplays(st.inputs, st.outputs, 3000);
    ASSERT_TRUE(first.valid) << "the state displays cannot be read";
    ASSERT_EQ(first.outputs, st.outputs);

    struct Case { int output; char command; };
    for (const Case c : {Case{3, '2'}, Case{11, '='}, Case{16, 'g'}, Case{3, '2'}}) {
        const std::string was = s().sim->Status().outputs;
        const int64_t t = NowUs();
        Click(layout::OutputButton(c.output));
        ParkMouse();
        EXPECT_TRUE(WaitFor(
            [&] {
                return ByteString(Bytes(s().sim->Log(), 'R', t)).find(c.command) != std::string::npos;
            },
            2000, kPollMs))
            << "output " << c.output << ": nothing sent";
        const std::string now = s().sim->Status().outputs;
        std::string expected = was;
        expected[c.output - 1] = was[c.output - 1] == '1' ? '0' : '1';
        EXPECT_EQ(now, expected) << "output " << c.output;
        std::string sent;
        for (const SimLogRecord& r : Bytes(s().sim->Log(), 'R', t))
            if (r.byte != 'x' && r.byte != 'q')
                sent.push_back(char(r.byte));
        EXPECT_EQ(sent, std::string(1, c.command)) << "output " << c.output;
        const Displays d = s().WaitDisplays("", now, 2000);
        EXPECT_EQ(d.outputs, now) << "the indicator of output " << c.output << " did not follow";
    }
}

TEST_F(ConsoleE2e, ChangeModeCyclesTheModeCaption)
{
    s().WaitIntroOver();
    EnsureUnlocked();
    auto caption = [] { return Crop(s().GrabMain(), layout::ModeCaption()); };
    std::vector<QImage> shown{caption()};
    std::vector<int> modes;
    for (int press = 0; press < 4; ++press) {
        const int64_t t = NowUs();
        Click(layout::ChangeMode());
        ParkMouse();
        ASSERT_TRUE(WaitFor(
            [&] {
                const std::string tx = ByteString(Bytes(s().sim->Log(), 'T', t));
                return tx.find_first_of("]}[") != std::string::npos;
            },
            2000, kPollMs))
            << "the controller did not answer the mode change";
        modes.push_back(s().sim->Status().mode);
        const QImage previous = shown.back();
        WaitFor([&] { return !SameImage(caption(), previous); }, 1000, kPollMs);
        shown.push_back(caption());
        EXPECT_EQ(ByteString(Bytes(s().sim->Log(), 'R', t)).find('Q') == std::string::npos, false);
    }
    EXPECT_EQ(std::set<int>(modes.begin(), modes.begin() + 3).size(), 3u) << "three modes in turn";
    EXPECT_EQ(modes[3], modes[0]);
    for (int i = 1; i <= 3; ++i)
        for (int j = 0; j < i; ++j)
            EXPECT_FALSE(SameImage(shown[i], shown[j])) << "captions " << i << " and " << j;
    EXPECT_TRUE(SameImage(shown[4], shown[1])) << "the fourth press shows the first mode again";
}

TEST_F(ConsoleE2e, InputChangesShowUpAndSlashRefreshesOutputsAtOnce)
{
    s().WaitIntroOver();
    EnsureUnlocked();
    for (int k : {5, 16}) {
        s().sim->Command("in " + std::to_string(k) + " on");
        SimStatus st = s().sim->Status();
        ASSERT_EQ(st.inputs[k - 1], '1');
        EXPECT_EQ(s().WaitDisplays(st.inputs, "", 2000).inputs, st.inputs) << "input " << k << " on";
        s().sim->Command("in " + std::to_string(k) + " off");
        st = s().sim->Status();
        EXPECT_EQ(s().WaitDisplays(st.inputs, "", 2000).inputs, st.inputs) << "input " << k << " off";
    }

    // The remote switches an output and the controller sends '/': the console asks for the
    // outputs at once instead of at its next turn.
    for (int round = 0; round < 3; ++round) {
        const int64_t t = NowUs();
        s().sim->Command("remote 7");
        const SimStatus st = s().sim->Status();
        ASSERT_TRUE(WaitFor(
            [&] {
                const auto log = s().sim->Log();
                const auto tx = Bytes(log, 'T', t);
                auto slash = std::find_if(tx.begin(), tx.end(), [](const SimLogRecord& r) { return r.byte == '/'; });
                if (slash == tx.end())
                    return false;
                for (const SimLogRecord& r : Bytes(log, 'R', slash->us))
                    if (r.byte == 'x')
                        return true;
                return false;
            },
            2000, kPollMs));
        const auto log = s().sim->Log();
        const auto tx = Bytes(log, 'T', t);
        const auto slash = std::find_if(tx.begin(), tx.end(), [](const SimLogRecord& r) { return r.byte == '/'; });
        int64_t answerUs = 0;
        for (const SimLogRecord& r : Bytes(log, 'R', slash->us))
            if (r.byte == 'x') {
                answerUs = r.us - slash->us;
                break;
            }
        std::printf("[ figures  ] '/' answered by 'x' after %.1f ms\n", answerUs / 1000.0);
        EXPECT_EQ(s().WaitDisplays("", st.outputs, 2000).outputs, st.outputs) << "round " << round;
        SleepMs(250);
    }
}

TEST_F(ConsoleE2e, LockHidesEverythingUntilTheCodeIsTyped)
{
    s().WaitIntroOver();
    EnsureUnlocked();
    Click(layout::LockProgram());
    ASSERT_TRUE(WaitFor([] { return s().LockScreenShown(); }, 1000, kPollMs));
    QStringList lines = ReadSettingsLines(s().dir.path());
    ASSERT_EQ(lines.size(), 38);
    EXPECT_EQ(lines[37], QStringLiteral(" ---------"));

    // Locked by an outside edit, unlocked by one: the screen follows the file.
    ASSERT_TRUE(s().Unlock(UnlockCodeFor(QDate::currentDate())));
    lines = ReadSettingsLines(s().dir.path());
    EXPECT_EQ(lines.value(37), QStringLiteral("----------"));
    lines[37] = QStringLiteral(" ---------");
    QFile f(s().dir.filePath(QStringLiteral("config.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    f.close();
    EXPECT_TRUE(WaitFor([] { return s().LockScreenShown(); }, 1000, kPollMs)) << "an outside lock";
    ASSERT_TRUE(s().Unlock(UnlockCodeFor(QDate::currentDate())));
    ParkMouse();
}

// Routing cells (input, output) clicked in the matrix window; the first four columns are in view.
struct Cell { int input; int output; };
const Cell kCells[] = {{1, 1}, {3, 2}, {2, 9}, {4, 16}, {1, 16}};

QPoint CellPoint(const Cell& c)
{
    return QPoint(2 + 150 * (c.input - 1) + 8 + 6, 2 + 40 + 16 * (c.output - 1) + 8);
}

TEST_F(ConsoleE2e, RoutingTableWrittenWithF2AndReadBackWithF3)
{
    s().WaitIntroOver();
    EnsureUnlocked();
    Click(layout::ConfigStart());
    const qulonglong matrix = s().x.WaitWindow(QStringLiteral("^Konfiguracja ! F2"), 5000);
    ASSERT_NE(matrix, 0u);
    EXPECT_TRUE(s().x.WaitNoWindow(kMainWindowName, 1000)) << "the main window hides";
    const int64_t shownUs = NowUs();

    std::string expected(256, '0');
    for (const Cell& c : kCells) {
        s().x.Click(matrix, CellPoint(c).x(), CellPoint(c).y());
        expected[16 * (c.output - 1) + (c.input - 1)] = '1';
    }
    // Polling stopped while the matrix window is open.
    for (const SimLogRecord& r : Bytes(s().sim->Log(), 'R', shownUs + 300'000))
        EXPECT_FALSE(r.byte == 'x' || r.byte == 'q') << "polled while the matrix window is open";

    const int64_t writeUs = NowUs();
    s().x.Key(QStringLiteral("F2"));
    ASSERT_TRUE(WaitFor([&] { return HasEvent(s().sim->Log(), "routing saved", writeUs); }, 40000, kPollMs))
        << "no routing write reached the controller";
    EXPECT_TRUE(s().DismissMessage(3000)) << "no \"saving finished\" message";

    // F2 asks for the controller's table first; it only gains connections, so the write follows
    // without a question.
    auto rx = Bytes(s().sim->Log(), 'R', writeUs);
    ASSERT_FALSE(rx.empty());
    EXPECT_EQ(rx[0].byte, 'C');
    rx.erase(rx.begin());
    const std::string sent = ByteString(rx);
    ASSERT_EQ(sent.size(), 257u) << sent;
    EXPECT_EQ(sent[0], 'c');
    EXPECT_EQ(sent.substr(1), expected);
    EXPECT_EQ(s().sim->Status().routing, expected);
    const double firstGapMs = (rx[1].us - rx[0].us) / 1000.0;
    const double cellsMs = (rx[256].us - rx[1].us) / 1000.0 / 255;
    // The ordered pauses, never shorter; how little longer is bench/routing's figure.
    EXPECT_GE(firstGapMs, 995.0);
    EXPECT_GE(cellsMs, 99.5);
    std::printf("[ figures  ] routing write: %.1f ms after 'c', %.2f ms per cell, %.1f s in all\n",
                firstGapMs, cellsMs, (rx[256].us - rx[0].us) / 1e6);

    // F3: the view under the matrix window asks for the table and receives what was written.
    const int64_t readUs = NowUs();
    s().x.Click(matrix, 80, 302);
    s().x.Key(QStringLiteral("F3"));
    const qulonglong view = s().x.WaitWindow(QStringLiteral("^Aktualna konfiguracja"), 3000);
    ASSERT_NE(view, 0u);
    int64_t requestUs = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto log = s().sim->Log();
            for (const SimLogRecord& r : Bytes(log, 'R', readUs))
                if (r.byte == 'C')
                    requestUs = r.us;
            return requestUs && Bytes(log, 'T', requestUs).size() >= 256;
        },
        3000, kPollMs))
        << "no table request, or no table in answer";
    const std::string requests = ByteString(Bytes(s().sim->Log(), 'R', readUs));
    EXPECT_EQ(std::count(requests.begin(), requests.end(), 'C'), 1) << requests;
    std::string dump = ByteString(Bytes(s().sim->Log(), 'T', requestUs)).substr(0, 256);
    std::string asWritten(256, '0');
    for (int m = 1; m <= 16; ++m)
        for (int i = 0; i < 16; ++i)   // input 16 first within each output's block
            asWritten[16 * (m - 1) + (15 - i)] = dump[16 * (m - 1) + i];
    EXPECT_EQ(asWritten, expected);
    const QRect g2 = s().x.WindowGeometry(matrix);
    const QRect g3 = s().x.WindowGeometry(view);
    EXPECT_EQ(g3.left(), g2.left());
    EXPECT_EQ(g3.top(), g2.top() + 361);
    // The view shows lines of text: its text area is not blank.
    SleepMs(200);
    const QImage text = Crop(s().x.Grab(view), QRect(9, 9, 500, 120));
    std::set<QRgb> colours;
    for (int y = 0; y < text.height(); ++y)
        for (int xx = 0; xx < text.width(); ++xx)
            colours.insert(text.pixel(xx, y));
    EXPECT_GT(colours.size(), 2u) << "the current-configuration view shows nothing";

    // Closing the matrix window brings the main window and the polling back.
    const int64_t closeUs = NowUs();
    s().x.Focus(matrix);
    s().x.Key(QStringLiteral("Escape"));
    EXPECT_NE(s().MainWindow(3000), 0u);
    EXPECT_TRUE(s().x.WaitNoWindow(QStringLiteral("^Aktualna konfiguracja"), 2000));
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string polls = ByteString(Bytes(s().sim->Log(), 'R', closeUs));
            return polls.find("xq") != std::string::npos;
        },
        3000, kPollMs))
        << "polling did not resume";
}

TEST_F(ConsoleE2e, ReconnectsAfterTheLineHangsUp)
{
    s().WaitIntroOver();
    EnsureUnlocked();
    const int64_t t = NowUs();
    s().sim->Command("hangup 2000");
    ASSERT_TRUE(WaitFor([&] { return HasEvent(s().sim->Log(), "hangup for", t); }, 2000, kPollMs));

    // Reported once, and no error box piles up while the device is away.
    int maxBoxes = 0;
    const int64_t backUs = t + 2'000'000;
    while (NowUs() < backUs + 500'000)
        maxBoxes = std::max<int>(maxBoxes, int(s().x.FindWindows(kMessageBoxName).size()));
    EXPECT_LE(maxBoxes, 1);

    // The device is back under the same name: the console finds it again and polls.
    const bool reopened = WaitFor([&] { return HasEvent(s().sim->Log(), "peer opened", backUs); }, 5000, kPollMs);
    while (!s().x.FindWindows(kMessageBoxName).empty())
        s().DismissMessage(500);
    ASSERT_TRUE(reopened) << "the console did not reopen the port";
    const auto log = s().sim->Log();
    int64_t openedUs = 0;
    for (const SimLogRecord& r : log)
        if (r.kind == 'E' && r.us >= backUs && r.text.find("peer opened") != std::string::npos)
            openedUs = r.us;
    // No busy loop: at most a few opens during the outage.
    int opens = 0;
    for (const SimLogRecord& r : log)
        if (r.kind == 'E' && r.us >= t && r.text.find("peer opened") != std::string::npos)
            ++opens;
    EXPECT_LE(opens, 2);
    EXPECT_TRUE(WaitFor(
        [&] { return ByteString(Bytes(s().sim->Log(), 'R', openedUs)).find("xq") != std::string::npos; },
        5000, kPollMs))
        << "polling did not resume after the device came back";
    const SimStatus st = s().sim->Status();
    const Displays d = s().WaitDisplays(st.inputs, st.outputs, 3000);
    EXPECT_EQ(d.outputs, st.outputs);
    EXPECT_EQ(d.inputs, st.inputs);
}

// An input reply lost on the line leaves its reading open; when the controller then sends '/',
// the output reply must not be taken for the inputs, and the cycle must stay one cycle.
TEST_F(ConsoleE2e, LostInputReplyFollowedBySlashKeepsInputsAndOutputsApart)
{
    s().WaitIntroOver();
    while (!s().x.FindWindows(kMessageBoxName).empty())
        s().DismissMessage(500);
    EnsureUnlocked();
    // Outputs that differ from the inputs, so a mix-up shows.
    for (int j : {2, 5, 9}) {
        if (s().sim->Status().outputs[j - 1] == '0')
            s().sim->Command("remote " + std::to_string(j));
    }
    SleepMs(500);

    // Silence the controller right after an output reply, so that the next request, "q", goes
    // unanswered.
    const int64_t t = NowUs();
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const SimLogRecord& r : Bytes(s().sim->Log(), 'T', t))
                if (r.byte == '!')
                    return true;
            return false;
        },
        3000, kPollMs));
    s().sim->Command("silent on");
    const int64_t silentUs = NowUs();
    ASSERT_TRUE(WaitFor(
        [&] { return ByteString(Bytes(s().sim->Log(), 'R', silentUs)).find('q') != std::string::npos; },
        2000, kPollMs));
    SleepMs(600);
    ASSERT_EQ(ByteString(Bytes(s().sim->Log(), 'R', silentUs)), "q") << "the cycle waits for the reply";

    // The controller speaks up again with '/'.
    s().sim->Command("silent off");
    const int64_t slashUs = NowUs();
    s().sim->Command("send 2f");
    const SimStatus st = s().sim->Status();
    const Displays d = s().WaitDisplays(st.inputs, st.outputs, 3000);
    EXPECT_EQ(d.inputs, st.inputs) << "the inputs show something else than the controller's inputs";
    EXPECT_EQ(d.outputs, st.outputs);

    // One cycle: never an "x" and a "q" at the same moment.
    SleepMs(1000);
    const auto rx = Bytes(s().sim->Log(), 'R', slashUs);
    int doubled = 0;
    for (size_t i = 1; i < rx.size(); ++i)
        if (rx[i].us - rx[i - 1].us < 20'000)
            ++doubled;
    EXPECT_EQ(doubled, 0) << "requests sent in pairs: " << ByteString(rx);
}

TEST_F(ConsoleE2e, CloseProgramEndsTheConsole)
{
    s().WaitIntroOver();
    while (!s().x.FindWindows(kMessageBoxName).empty())
        s().DismissMessage(500);
    EnsureUnlocked();
    const bool open = s().sim->Status().peer;
    const int64_t t = NowUs();
    Click(layout::CloseProgram());
    ASSERT_TRUE(s().console.WaitExit(5000)) << "still running after \"Zamknij program\"";
    std::printf("[ figures  ] the program ended %.0f ms after the click\n", (NowUs() - t) / 1000.0);
    EXPECT_EQ(s().console.ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(s().console.ExitCode(), 0);
    if (open) {
        EXPECT_TRUE(WaitFor([&] { return HasEvent(s().sim->Log(), "peer closed", t); }, 2000, kPollMs))
            << "the port was not closed";
    }
}

}  // namespace
