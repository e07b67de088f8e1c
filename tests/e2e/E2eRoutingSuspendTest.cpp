// Opening the routing matrix window while a poll's reply is still on the line, against a
// controller that answers late: the reply's end must not restart polling behind the window, or
// its replies would mix into the routing-table reply and the routing write.
#include "ConsoleSession.h"
#include "WaitFor.h"

using namespace e2e;

namespace {

bool IsPoll(char byte) { return byte == 'x' || byte == 'q'; }

// The time of the first poll request the controller received after `fromUs`; 0 while none.
int64_t NextPollUs(const std::vector<SimLogRecord>& log, int64_t fromUs)
{
    for (const SimLogRecord& r : Bytes(log, 'R', fromUs))
        if (IsPoll(r.byte))
            return r.us;
    return 0;
}

TEST(RoutingWindowE2e, NoPollLeavesWhileTheMatrixWindowIsOpen)
{
    ASSERT_TRUE(MissingTools().isEmpty()) << "not installed: " << MissingTools().join(' ').toStdString();
    ConsoleSession s;
    QString error;
    ASSERT_TRUE(s.Start({"--reply-delay-ms", "150"},
                        ConsoleSession::Settings::Unlocked, &error))
        << error.toStdString();
    ASSERT_NE(s.MainWindow(10000), 0u) << s.console.Output().toStdString();
    s.WaitIntroOver();

    const int rounds = qEnvironmentVariableIntValue("KONF_E2E_ROUNDS") > 0
        ? qEnvironmentVariableIntValue("KONF_E2E_ROUNDS") : 3;
    for (int round = 0; round < rounds; ++round) {
        // Click the moment a request reaches the controller: its reply comes 150 ms later,
        // inside the console's 800 ms wait before the window opens.
        const int64_t sinceUs = NowUs();
        int64_t requestUs = 0;
        ASSERT_TRUE(WaitFor([&] { return (requestUs = NextPollUs(s.sim->Log(), sinceUs)) != 0; }, 3000, 5))
            << "round " << round << ": not polling";
        s.x.Click(s.MainWindow(), layout::ConfigStart().x(), layout::ConfigStart().y());
        const qulonglong matrix = s.x.WaitWindow(QStringLiteral("^Konfiguracja ! F2"), 5000);
        ASSERT_NE(matrix, 0u) << "round " << round;
        SleepMs(1200);   // the late reply has long ended; a restarted cycle would have asked twice

        const auto log = s.sim->Log();
        const std::string during = ByteString(Bytes(log, 'R', requestUs + 1));
        EXPECT_EQ(during.find_first_of("xq"), std::string::npos)
            << "round " << round << ": polled behind the matrix window: " << during;

        // Closing the window resumes polling.
        const int64_t closeUs = NowUs();
        s.x.Focus(matrix);
        s.x.Key(QStringLiteral("Escape"));
        ASSERT_NE(s.MainWindow(3000), 0u) << "round " << round;
        EXPECT_TRUE(WaitFor([&] { return NextPollUs(s.sim->Log(), closeUs) != 0; }, 2000, kPollMs))
            << "round " << round << ": polling did not resume";
    }
    s.Stop();
}

}  // namespace
