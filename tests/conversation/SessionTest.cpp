#include "ControllerSession.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>

namespace {

// A session whose line is a string: what it writes is kept, what the controller says is fed.
class SessionTest : public ::testing::Test {
protected:
    void Feed(const std::string& bytes)
    {
        for (char ch : bytes)
            session.HandleChar(ch);
    }
    // Lets the session's timers run for a while.
    static void Run(int ms) { QTest::qWait(ms); }

    std::string written;
    TControllerSession session{[this](const std::string& bytes) {
                                   written += bytes;
                                   return static_cast<int>(bytes.size());
                               },
                               nullptr, 20};
};

TEST_F(SessionTest, WhileSuspendedNoRequestGoesOutWhoeverAsks)
{
    QSignalSpy modes(&session, &TControllerSession::ModeCaptionChanged);
    session.Button3Click();
    Feed("10100000");   // half an output reply is on the line
    session.Suspend();
    written.clear();

    Feed("00000000!");         // its end would start Timer7
    Feed(std::string(16, '0'));   // an input reply's end would start Timer6
    Feed("/");                 // the controller asks for an output read
    session.Timer5Timer();
    session.LineRestored();
    Feed("]");
    Run(120);
    EXPECT_EQ(written, "");
    EXPECT_FALSE(session.Timer6->isActive() || session.Timer7->isActive());
    EXPECT_EQ(modes.count(), 1);   // the displays still follow what arrives

    // Resuming restarts the cycle through Timer6, and it runs as before.
    session.Resume();
    EXPECT_TRUE(session.Timer6->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(written, std::string("x"), 1000);
    Feed(std::string(16, '1') + "!");
    QTRY_COMPARE_WITH_TIMEOUT(written, std::string("xq"), 1000);
}

TEST_F(SessionTest, EachRoutingRequestCountsOnlyItsOwnReply)
{
    QSignalSpy complete(&session, &TControllerSession::ConfigDumpComplete);
    session.BeginConfigDump();
    Feed(std::string(100, '1'));   // a reply cut short
    session.BeginConfigDump();
    std::string table(256, '0');
    table[5] = table[255] = '1';
    Feed(table);
    EXPECT_EQ(written, "CC");
    ASSERT_EQ(complete.count(), 1);
    EXPECT_EQ(complete.at(0).at(0).toByteArray(), QByteArray::fromStdString(table));
    EXPECT_FALSE(session.State().ConfigDumpActive);
}

}  // namespace
