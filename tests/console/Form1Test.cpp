#include "ConsoleFixture.h"

#include "ComPort.h"
#include "ComTerminal.h"
#include "IntroLayer.h"
#include "LockScreen.h"
#include "TitleClock.h"
#include "UnlockCode.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// A stand-in for the naming dialog that notes when it was opened and closes itself.
class NotingDialog : public QDialog {
public:
    int opened = 0;
    int exec() override
    {
        ++opened;
        QTimer::singleShot(10, this, [this] { reject(); });
        return QDialog::exec();
    }
};

struct DumpLines {
    QStringList lines;
};

const QString kUnlocked = SettingsFile::kUnlockedMarker;

using ConsoleStart = ConsoleFixture;

TEST_F(ConsoleStart, FirstRunOpensNothingAndAsksForNamesAfterOneAndAHalfSeconds)
{
    QElapsedTimer clock;
    clock.start();
    Start();
    NotingDialog naming;
    form->SetWindows(nullptr, nullptr, &naming);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_FALSE(form->Timer4->isActive());
    EXPECT_FALSE(form->Session->firstInputRead->isActive());
    EXPECT_FALSE(form->Session->outputPoll->isActive());
    EXPECT_FALSE(form->Session->inputPoll->isActive());
    EXPECT_TRUE(form->Timerx->isActive());
    EXPECT_FALSE(form->sPanel10->isHidden());   // the lock screen lies under the intro

    ASSERT_TRUE(WaitFor([&] { return naming.opened > 0; }, 3000));
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_FALSE(form->ShockwaveFlash1->Playing());
    Spin(1700);
    EXPECT_EQ(naming.opened, 1);
    EXPECT_EQ(pty.Drain(10, 50), "");
    EXPECT_TRUE(QFile::exists(ConfigPath()) == false);
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(ConsoleStart, LayoutNamesAndCaptionsFromThe38LineFile)
{
    WriteConfig(kUnlocked);
    Start();
    EXPECT_EQ(form->size(), QSize(604, 371));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->ComPort1->Port(), QString::fromStdString(pty.SlavePath()));
    EXPECT_TRUE(form->Timer4->isActive());
    EXPECT_TRUE(form->sPanel10->isHidden());

    const char* inputs = "abcdefghijklmnop";
    const char* outputs[16] = {"a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1",
                               "i1", "l1", "o1", "p1", "r1", "s1", "t1", "u1"};
    for (int k = 1; k <= 16; ++k) {
        auto* in = form->findChild<QCheckBox*>(QString(QLatin1Char(inputs[k - 1])));
        auto* out = form->findChild<QPushButton*>(QLatin1String(outputs[k - 1]));
        auto* ind = form->findChild<QCheckBox*>(QStringLiteral("sCheckBox%1").arg(14 + k));
        ASSERT_TRUE(in && out && ind) << k;
        EXPECT_EQ(in->text(), QStringLiteral("Wejście %1").arg(k));
        EXPECT_EQ(out->text(), QStringLiteral("Wyjście %1").arg(k));
        // Input k, output k and its indicator share one row, 16 pixels apart from y 32.
        const int y = 32 + 16 * (k - 1);
        EXPECT_EQ(in->mapTo(form.get(), QPoint(0, 0)).y(), y);
        EXPECT_EQ(out->mapTo(form.get(), QPoint(0, 0)).y(), y);
        EXPECT_EQ(ind->mapTo(form.get(), QPoint(0, 0)).y(), y);
        EXPECT_EQ(out->width(), 177);
        EXPECT_GT(ind->mapTo(form.get(), QPoint(0, 0)).x(), out->mapTo(form.get(), QPoint(177, 0)).x());
        EXPECT_EQ(in->focusPolicy(), Qt::NoFocus);
        EXPECT_TRUE(in->testAttribute(Qt::WA_TransparentForMouseEvents));
        EXPECT_TRUE(ind->testAttribute(Qt::WA_TransparentForMouseEvents));
    }

    // The mode display: disabled, empty until the controller names its mode.
    EXPECT_FALSE(form->sButton5->isEnabled());
    EXPECT_EQ(form->sButton5->text(), QString());
    EXPECT_TRUE(form->LegendActive->isChecked());
    EXPECT_FALSE(form->LegendInactive->isChecked());
    EXPECT_TRUE(form->LegendOn->isChecked());

    // The layers: intro over everything, the terminal panel hidden.
    EXPECT_EQ(form->ShockwaveFlash1->geometry(), QRect(-5, -15, 609, 402));
    EXPECT_TRUE(form->ShockwaveFlash1->Playing());
    EXPECT_EQ(form->ShockwaveFlash1->Movie(), QCoreApplication::applicationDirPath() + "/conf.xls");
    EXPECT_TRUE(form->sPanel7->isHidden());

    // The intro hides after its timer and stops animating.
    EXPECT_EQ(form->Timer1->interval(), 15000);
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1Timer();
    EXPECT_TRUE(form->ShockwaveFlash1->isHidden());
    EXPECT_FALSE(form->ShockwaveFlash1->Playing());
}

TEST_F(ConsoleStart, MissingLinesGiveEmptyCaptionsAndStillSend)
{
    WriteConfig(QStringList{SettingsFile::kSeparator, QString::fromStdString(pty.SlavePath()),
                            SettingsFile::kSeparator, "Tylko pierwsze"});
    StartPolling();
    EXPECT_EQ(form->InputBoxes[0]->text(), "Tylko pierwsze");
    EXPECT_EQ(form->InputBoxes[1]->text(), QString());
    EXPECT_EQ(form->OutputButtons[15]->text(), QString());
    EXPECT_FALSE(form->sPanel10->isHidden());   // no marker: locked
    form->OutputButtonClick(16);
    EXPECT_EQ(ReadFromConsole(1, 500), "g");
}

// A device that is missing at start is a line that was lost: one report, the rest of the
// start-up, and polling once the device appears.
TEST_F(ConsoleStart, MissingDeviceIsReportedOnceAndPolledWhenItAppears)
{
    const QString link = QDir::current().filePath(QStringLiteral("ttyLATER"));
    WriteConfig(ConfigLines(link, &kUnlocked));
    Start();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_TRUE(form->Timer4->isActive());
    EXPECT_EQ(form->InputBoxes[0]->text(), "Wejście 1");
    EXPECT_EQ(form->OutputButtons[15]->text(), "Wyjście 16");
    form->Timer1Timer();
    EXPECT_TRUE(form->sPanel10->isHidden());   // line 37 says unlocked
    // The open failure is reported once; the polling requests that fail because of it add nothing.
    form->Session->firstInputRead->setInterval(300);
    form->Session->firstInputRead->start();
    Spin(1200);
    const QStringList errors = TestApplication::TakeReportedErrors();
    ASSERT_EQ(errors.size(), 1) << errors.join(" | ").toStdString();
    EXPECT_EQ(errors.first(), "Unable to open com port (win error code: 2)");
    // A command of the user still fails loudly.
    EXPECT_THROW(form->sButton4Click(), EComPort);

    // The device appears: the port opens and polling starts, within about a second.
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(ReadFromConsole(1, 2000), "x");
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_FALSE(form->Keeper->Searching());
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(ConsoleStart, TitleClockShowsShortDateAndLongTimeWithoutZone)
{
    const QDateTime at(QDate(2026, 3, 7), QTime(1, 57, 16));
    const QLocale pl(QLocale::Polish, QLocale::Poland);
    EXPECT_EQ(TitleClockText(at, pl), "Selvora - konfigurator (" + pl.toString(at.date(), QLocale::ShortFormat)
                                          + " 01:57:16)");
    EXPECT_TRUE(TitleClockText(at, QLocale(QLocale::English, QLocale::UnitedStates)).endsWith(" 1:57:16 AM)"));
    // The zone field as the locales place it: after, before, in brackets, after a comma.
    const std::pair<QString, QString> formats[] = {
        {"HH:mm:ss t", "HH:mm:ss"},       {"h:mm:ss AP, t", "h:mm:ss AP"},
        {"HH:mm:ss (t)", "HH:mm:ss"},     {"APh:mm:ss [t]", "APh:mm:ss"},
        {"t APh:mm:ss", "APh:mm:ss"},     {"H:mm:ss 'ч'. t", "H:mm:ss 'ч'."},
        {"HH:mm:ss tttt", "HH:mm:ss"},    {"'o''t' H:mm 't' t", "'o''t' H:mm 't'"},
    };
    for (const auto& [format, expected] : formats)
        EXPECT_EQ(WithoutTimeZone(format), expected) << format.toStdString();

    WriteConfig(kUnlocked);
    Start();
    EXPECT_EQ(form->windowTitle(), "Selvora - konfiguracja");
    Spin(50);
    const QString title = form->windowTitle();
    EXPECT_TRUE(title.startsWith("Selvora - konfigurator (")) << title.toStdString();
    EXPECT_TRUE(title.endsWith(")"));
    EXPECT_TRUE(title.contains(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)));
}

TEST_F(ConsoleStart, ButtonsOpenTheOtherWindowsAndEndTheProgram)
{
    WriteConfig(kUnlocked);
    StartPolling();
    form->Timer1Timer();
    form->show();
    NotingDialog routing, about, naming;
    form->SetWindows(&routing, &about, &naming);
    QTest::mouseClick(form->sButton1, Qt::LeftButton);
    EXPECT_EQ(naming.opened, 1);
    QTest::mouseClick(form->sWebLabel1, Qt::LeftButton);
    EXPECT_EQ(about.opened, 1);
    EXPECT_EQ(routing.opened, 0);

    // The routing window: polling stops, a wait, the main window hides, the window opens.
    pty.Write(std::string(16, '0') + "!");
    ASSERT_EQ(ReadFromConsole(1, 1000), "q");
    EXPECT_TRUE(form->Session->State().InputReadActive);
    QElapsedTimer took;
    took.start();
    QTest::mouseClick(form->sBitBtn2, Qt::LeftButton);
    EXPECT_GE(took.elapsed(), 790);
    EXPECT_EQ(routing.opened, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Session->State().InputReadActive);
    EXPECT_FALSE(form->Session->State().OutputReadActive);
    EXPECT_FALSE(form->Session->outputPoll->isActive());
    EXPECT_FALSE(form->Session->inputPoll->isActive());
    EXPECT_EQ(DrainConsole(400), "");

    EXPECT_EQ(terminations, 0);
    form->show();
    QTest::mouseClick(form->sButton2, Qt::LeftButton);
    EXPECT_EQ(terminations, 1);
}

using Polling = ConsoleFixture;

TEST_F(Polling, CycleAlternatesOutputAndInputRequests)
{
    WriteConfig(kUnlocked);
    StartPolling();
    EXPECT_TRUE(form->Session->State().OutputReadActive);
    EXPECT_EQ(DrainConsole(300), "");   // no time-out: the cycle waits for the reply

    pty.Write("1" + std::string(14, '0') + "1!");
    QElapsedTimer sinceBang;
    sinceBang.start();
    ASSERT_EQ(ReadFromConsole(1, 1000), "q");
    EXPECT_GE(sinceBang.elapsed(), 180);
    EXPECT_LT(sinceBang.elapsed(), 700);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form->OutputIndicators[n - 1]->isChecked(), n == 1 || n == 16) << n;

    pty.Write("01" + std::string(14, '0'));
    QElapsedTimer sinceLast;
    sinceLast.start();
    ASSERT_EQ(ReadFromConsole(1, 1000), "x");
    EXPECT_GE(sinceLast.elapsed(), 180);
    EXPECT_LT(sinceLast.elapsed(), 700);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form->InputBoxes[n - 1]->isChecked(), n == 2) << n;

    // Mode characters, '?' and '/' at any time.
    Reply("]");
    EXPECT_EQ(form->sButton5->text(), "Wejścia równorzędne");
    EXPECT_FALSE(form->OutputIndicators[0]->isChecked());   // ']' also counted as output 1 off
    Reply("}");
    EXPECT_EQ(form->sButton5->text(), "Pilot i komputer nadrzędne");
    Reply("[");
    EXPECT_EQ(form->sButton5->text(), "Tylko pilot i komputer");

    {
        MessageBoxCloser closer;
        pty.Write("?");
        ASSERT_TRUE(WaitFor([&] { return !closer.texts.isEmpty(); }, 1000));
        EXPECT_EQ(closer.texts.first(), "Proces zapisywania zakończony !");
    }
    pty.Write("/");
    EXPECT_EQ(ReadFromConsole(1, 1000), "x");
    Reply(std::string(16, '1') + "!");
    for (int n = 1; n <= 16; ++n)
        EXPECT_TRUE(form->OutputIndicators[n - 1]->isChecked()) << n;
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(Polling, TimerFiveAsksForInputsOnce)
{
    WriteConfig(kUnlocked);
    StartPolling();
    EXPECT_EQ(form->Session->firstInputRead->interval(), 5000);
    EXPECT_TRUE(form->Session->firstInputRead->isActive());
    form->Session->firstInputRead->setInterval(50);
    form->Session->firstInputRead->start();
    EXPECT_EQ(ReadFromConsole(1, 500), "q");
    EXPECT_TRUE(form->Session->State().InputReadActive);
    EXPECT_EQ(DrainConsole(300), "");
}

TEST_F(Polling, RoutingDumpReachesTheView)
{
    WriteConfig(kUnlocked);
    StartPolling();
    DumpLines view;
    QObject::connect(form->Session, &TControllerSession::DumpLine, [&](const QString& line) { view.lines << line; });
    form->Session->State().ConfigDumpActive = true;
    std::string dump = "1" + std::string(14, '0') + "1";
    dump += std::string(255 - 16, '0') + "1";
    form->Session->State().OutputReadActive = false;
    Reply(dump, 300);
    ASSERT_EQ(view.lines.size(), 16);
    EXPECT_EQ(view.lines[0], "Wyjście 1 jest sterowane przez wejścia : 16,1");
    EXPECT_EQ(view.lines[15], "Wyjście 16 jest sterowane przez wejścia: 1");
    EXPECT_EQ(form->ListField(1), "16,1");
    EXPECT_FALSE(form->Session->State().ConfigDumpActive);
}

TEST_F(Polling, UnpluggedLineIsReportedOnceAndPollingResumesWhenTheDeviceIsBack)
{
    // What the console wrote to another pty, keeping the event loop going meanwhile.
    const auto readFrom = [](PtyPair& line, size_t count, int timeoutMs) {
        std::string got;
        WaitFor(
            [&] {
                pollfd p{line.MasterFd(), POLLIN, 0};
                if (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
                    char buf[64];
                    const ssize_t n = ::read(line.MasterFd(), buf, std::min(sizeof buf, count - got.size()));
                    if (n > 0)
                        got.append(buf, static_cast<size_t>(n));
                }
                return got.size() >= count;
            },
            timeoutMs);
        return got;
    };
    // The port is known by a link, as a USB adapter is by its /dev/serial/by-id name.
    const QString link = QDir::current().filePath(QStringLiteral("ttyLINK"));
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), QFile::encodeName(link).constData()), 0);
    WriteConfig(ConfigLines(link, &kUnlocked));
    StartPolling();
    pty.Write(std::string(16, '0') + "!");
    ASSERT_EQ(ReadFromConsole(1, 1000), "q");
    form->InputBoxes[2]->setChecked(true);

    pty.CloseMaster();   // the cable is pulled
    ASSERT_TRUE(WaitFor([&] { return !form->ComPort1->Connected(); }, 2000));
    ASSERT_NE(form->LineLostBox, nullptr);
    EXPECT_TRUE(form->LineLostBox->isVisible());
    EXPECT_TRUE(form->LineLostBox->text().contains(link));
    // Polling has stopped, and a request made meanwhile fails quietly: the box said it all.
    EXPECT_FALSE(form->Session->outputPoll->isActive() || form->Session->inputPoll->isActive());
    form->Session->firstInputRead->setInterval(50);
    form->Session->firstInputRead->start();
    Spin(1500);   // the reconnect attempts meanwhile find nothing
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
    EXPECT_FALSE(form->ComPort1->Connected());
    // A click of the user is still answered with the port's error.
    QTest::mouseClick(form->sButton4, Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);

    // The device comes back under the same name: the console finds it and polls again.
    PtyPair back;
    QFile::remove(link);
    ASSERT_EQ(::symlink(back.SlavePath().c_str(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(readFrom(back, 1, 3000), "x");
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_FALSE(form->LineLostBox->isVisible());
    EXPECT_FALSE(form->Keeper->ReconnectTimer->isActive());
    back.Write("1" + std::string(15, '0') + "!");
    EXPECT_EQ(readFrom(back, 1, 1000), "q");
    EXPECT_TRUE(form->OutputIndicators[0]->isChecked());
    // Nothing the user set up was lost on the way.
    EXPECT_TRUE(form->InputBoxes[2]->isChecked());
    EXPECT_EQ(form->OutputButtons[0]->text(), QStringLiteral("Wyjście 1"));
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(Polling, AnOutOfTurnRequestInsideAReplyDoesNotStartASecondCycle)
{
    WriteConfig(kUnlocked);
    StartPolling();   // "x" has gone out
    form->Session->firstInputRead->stop();
    // The one-off input request lands in the middle of the output reply.
    Reply("10000000");
    form->Session->FirstInputReadDue();
    ASSERT_EQ(ReadFromConsole(1, 500), "q");
    Reply("00000001!");                 // the rest of the output reply
    Reply(std::string(16, '0'));        // the controller's answer to "q"
    // Both the '!' and the sixteenth input character asked for the next request; only one
    // cycle may go on, or the two would read each other's replies from then on.
    EXPECT_FALSE(form->Session->outputPoll->isActive() && form->Session->inputPoll->isActive());
    const std::string next = DrainConsole(450);
    EXPECT_EQ(next.size(), 1u) << next;

    // From then on the cycle runs singly and the displays are right again.
    std::string sent = next;
    for (int round = 0; round < 2; ++round) {
        if (sent == "x") {
            Reply("01" + std::string(13, '0') + "1!");   // outputs 2 and 16 on
            sent = ReadFromConsole(1, 500);
        }
        ASSERT_EQ(sent, "q");
        Reply("001" + std::string(13, '0'));   // input 3 active
        EXPECT_EQ(DrainConsole(450), "x");
        sent = "x";
    }
    EXPECT_TRUE(form->OutputIndicators[1]->isChecked());
    EXPECT_TRUE(form->OutputIndicators[15]->isChecked());
    EXPECT_FALSE(form->OutputIndicators[0]->isChecked());
    EXPECT_TRUE(form->InputBoxes[2]->isChecked());
    EXPECT_FALSE(form->InputBoxes[0]->isChecked());
}

using Outputs = ConsoleFixture;

TEST_F(Outputs, EachButtonSendsItsCommandAndLeavesTheIndicator)
{
    WriteConfig(kUnlocked);
    StartPolling();
    form->Timer1Timer();
    const std::string commands = "0123456789=asdfg";
    for (int k = 0; k < 16; ++k) {
        QTest::mouseClick(form->OutputButtons[k], Qt::LeftButton);
        EXPECT_EQ(ReadFromConsole(1, 500), std::string(1, commands[k])) << "output " << k + 1;
        EXPECT_FALSE(form->OutputIndicators[k]->isChecked());
    }
    QTest::mouseClick(form->sButton4, Qt::LeftButton);
    EXPECT_EQ(ReadFromConsole(1, 500), "Q");
    EXPECT_EQ(form->sButton5->text(), QString());
    // Clicking a display changes nothing: the click goes to whatever lies beneath it.
    for (QWidget* display : {static_cast<QWidget*>(form->OutputIndicators[3]),
                             static_cast<QWidget*>(form->InputBoxes[3])}) {
        const QPoint at = display->mapTo(form.get(), QPoint(6, 8));
        QWidget* hit = form->childAt(at);
        ASSERT_TRUE(hit);
        EXPECT_NE(hit, display);
        QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(form.get(), at));
    }
    EXPECT_FALSE(form->OutputIndicators[3]->isChecked());
    EXPECT_FALSE(form->InputBoxes[3]->isChecked());
    EXPECT_EQ(DrainConsole(50), "");
}

using Learning = ConsoleFixture;

TEST_F(Learning, StartCoversTheWindowStopsPollingAndTypesToTheController)
{
    WriteConfig(kUnlocked);
    StartPolling();
    form->show();
    form->Timer1Timer();
    form->ComTerminal1->DisplayText("stare linie\r\n");
    QElapsedTimer took;
    took.start();
    QTest::mouseClick(form->sBitBtn1, Qt::LeftButton);
    EXPECT_GE(took.elapsed(), 790);
    EXPECT_EQ(form->sPanel7->pos(), QPoint(0, 0));
    EXPECT_FALSE(form->sPanel7->isHidden());
    EXPECT_EQ(ReadFromConsole(1, 500), "R");
    EXPECT_FALSE(form->Session->State().InputReadActive);
    EXPECT_FALSE(form->Session->State().OutputReadActive);
    EXPECT_EQ(DrainConsole(600), "");   // a silent controller gets no requests

    // Under the panel nothing can be reached.
    EXPECT_FALSE(form->OutputButtons[0]->isEnabled());
    form->OutputButtons[0]->click();
    QTest::mouseClick(form->sButton4, Qt::LeftButton);
    EXPECT_EQ(DrainConsole(50), "");

    // Keys typed into the terminal go to the controller as they are typed.
    QTest::keyClicks(form->ComTerminal1, "a5");
    EXPECT_EQ(ReadFromConsole(2, 500), "a5");

    // '!' from the controller restarts the cycle under the panel.
    Reply("!");
    EXPECT_EQ(ReadFromConsole(1, 500), "q");

    MessageBoxCloser closer;
    QTest::mouseClick(form->sButton7, Qt::LeftButton);
    ASSERT_EQ(closer.texts.size(), 1);
    EXPECT_EQ(closer.texts.first(), "Naciśnij przycisk Reset w sterowniku oraz uruchom ponownie aplikację !");
    EXPECT_EQ(terminations, 1);
}

TEST_F(Learning, FailedStartShowsThePanelAndStopsThere)
{
    WriteConfig(kUnlocked);
    StartPolling();
    pty.CloseMaster();
    QTest::mouseClick(form->sBitBtn1, Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);
    EXPECT_FALSE(form->sPanel7->isHidden());
    EXPECT_TRUE(form->Session->State().OutputReadActive);   // the steps after the write did not run
}

TEST(IntroLayer, PlaysAnAnimationFileOrDrawsItsOwn)
{
    QTemporaryDir dir;
    // Two 2x2 frames, red then blue.
    const QByteArray gif = QByteArray::fromHex(
        "47494638396102000200f00000ff000000000021f904000000000021ff0b4e45545343415045322e30"
        "03010000002c000000000200020000020284510021f90400000000002c0000000002000200800000ff"
        "00000002028451003b");
    QFile f(dir.filePath("conf.xls"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(gif);
    f.close();

    TIntroLayer layer;
    layer.resize(100, 100);
    layer.SetMovie(dir.filePath("conf.xls"));
    EXPECT_TRUE(layer.PlaysFile());

    QFile junk(dir.filePath("junk.xls"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not an animation");
    junk.close();
    layer.SetMovie(dir.filePath("junk.xls"));
    EXPECT_FALSE(layer.PlaysFile());
    layer.SetMovie(dir.filePath("missing.xls"));
    EXPECT_FALSE(layer.PlaysFile());
    EXPECT_TRUE(layer.Playing());

    // The built-in animation only draws while shown.
    layer.show();
    const QImage a = layer.grab().toImage();
    QTest::qWait(3 * TIntroLayer::kFrameIntervalMs + 60);
    const QImage b = layer.grab().toImage();
    EXPECT_NE(a, b);
    layer.hide();
    auto* frames = layer.findChild<QTimer*>();
    ASSERT_TRUE(frames);
    EXPECT_FALSE(frames->isActive());
}

}  // namespace
