// The console against the controller simulator: what a user sees follows the controller.
#include "ConsoleFixture.h"

#include "ComPort.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

class WithSimulator : public ConsoleFixture {
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        const QString sim = qEnvironmentVariable("KONF_BUILD_DIR") + QStringLiteral("/selvora-sim");
        if (!QFile::exists(sim))
            GTEST_SKIP() << "selvora-sim is not built";
        link_ = QDir::current().filePath(QStringLiteral("ttyCONTROLLER"));
        sim_.setProgram(sim);
        sim_.setArguments({QStringLiteral("--link"), link_, QStringLiteral("--no-realtime")});
        sim_.setProcessChannelMode(QProcess::MergedChannels);
        sim_.start();
        ASSERT_TRUE(sim_.waitForStarted(3000));
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(link_); }, 3000)) << sim_.readAll().toStdString();
        WriteConfig(ConfigLines(link_, &SettingsFile::kUnlockedMarker));
    }
    void TearDown() override
    {
        ConsoleFixture::TearDown();
        if (sim_.state() != QProcess::NotRunning) {
            sim_.write("quit\n");
            if (!sim_.waitForFinished(3000))
                sim_.kill();
            sim_.waitForFinished(1000);
        }
    }
    void Control(const char* line) { sim_.write(line); }

    QString link_;
    QProcess sim_;
};

TEST_F(WithSimulator, DisplaysFollowTheController)
{
    Start();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->Timer1Timer();

    // Output 3 switched from the console shows once the controller reports it.
    QTest::mouseClick(form->OutputButtons[2], Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return form->OutputIndicators[2]->isChecked(); }, 3000));
    EXPECT_FALSE(form->OutputIndicators[1]->isChecked());

    // An input that becomes active on the controller.
    Control("in 5 on\n");
    EXPECT_TRUE(WaitFor([&] { return form->InputBoxes[4]->isChecked(); }, 3000));
    Control("in 5 off\n");
    EXPECT_TRUE(WaitFor([&] { return !form->InputBoxes[4]->isChecked(); }, 3000));

    // The mode button of the console and the controller's own.
    QTest::mouseClick(form->sButton4, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return !form->sButton5->text().isEmpty(); }, 3000));
    const QString first = form->sButton5->text();
    Control("mode\n");
    EXPECT_TRUE(WaitFor([&] { return form->sButton5->text() != first; }, 3000));

    // A '/' from the controller fetches the outputs at once, the indicators stay right.
    Control("remote 16\n");
    EXPECT_TRUE(WaitFor([&] { return form->OutputIndicators[15]->isChecked(); }, 3000));
    EXPECT_TRUE(form->OutputIndicators[2]->isChecked());
    Spin(1000);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form->OutputIndicators[n - 1]->isChecked(), n == 3 || n == 16) << n;
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

}  // namespace
