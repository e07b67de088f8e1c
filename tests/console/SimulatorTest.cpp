// The console against the controller simulator: what a user sees follows the controller.
#include "ConsoleFixture.h"

#include "ComPort.h"
#include "SimulatorProcess.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

namespace {

class WithSimulator : public ConsoleFixture {
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        ASSERT_TRUE(sim_.Start({"--no-realtime"})) << sim_.Error();
        WriteConfig(ConfigLines(QString::fromStdString(sim_.LinkPath()), &SettingsFile::kUnlockedMarker));
    }
    void Control(const char* line) { sim_.Command(line); }

    SimulatorProcess sim_;
};

TEST_F(WithSimulator, DisplaysFollowTheController)
{
    Start();
    ASSERT_TRUE(line->Port().Connected());
    form->EndIntro();

    // Output 3 switched from the console shows once the controller reports it.
    QTest::mouseClick(form->OutputButton(3), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return form->OutputIndicator(3)->isChecked(); }, 3000));
    EXPECT_FALSE(form->OutputIndicator(2)->isChecked());

    // An input that becomes active on the controller.
    Control("in 5 on");
    EXPECT_TRUE(WaitFor([&] { return form->InputBox(5)->isChecked(); }, 3000));
    Control("in 5 off");
    EXPECT_TRUE(WaitFor([&] { return !form->InputBox(5)->isChecked(); }, 3000));

    // The mode button of the console and the controller's own.
    QTest::mouseClick(Child<QPushButton>("sButton4"), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return !Child<QPushButton>("sButton5")->text().isEmpty(); }, 3000));
    const QString first = Child<QPushButton>("sButton5")->text();
    Control("mode");
    EXPECT_TRUE(WaitFor([&] { return Child<QPushButton>("sButton5")->text() != first; }, 3000));

    // A '/' from the controller fetches the outputs at once, the indicators stay right.
    Control("remote 16");
    EXPECT_TRUE(WaitFor([&] { return form->OutputIndicator(16)->isChecked(); }, 3000));
    EXPECT_TRUE(form->OutputIndicator(3)->isChecked());
    Spin(1000);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form->OutputIndicator(n)->isChecked(), n == 3 || n == 16) << n;
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

}  // namespace
