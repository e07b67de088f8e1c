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
    EXPECT_FALSE(line->Port().Connected());
    EXPECT_FALSE(Child<QTimer>("lockWatch")->isActive());
    EXPECT_FALSE(line->Session().firstInputRead->isActive());
    EXPECT_FALSE(line->Session().outputPoll->isActive());
    EXPECT_FALSE(line->Session().inputPoll->isActive());
    EXPECT_TRUE(Child<QTimer>("firstRunNaming")->isActive());
    EXPECT_FALSE(Child<TLockScreen>("sPanel10")->isHidden());   // the lock screen lies under the intro

    ASSERT_TRUE(WaitFor([&] { return naming.opened > 0; }, 3000));
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_FALSE(Child<TIntroLayer>("ShockwaveFlash1")->Playing());
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
    EXPECT_TRUE(line->Port().Connected());
    EXPECT_EQ(line->Port().Port(), QString::fromStdString(pty.SlavePath()));
    EXPECT_TRUE(Child<QTimer>("lockWatch")->isActive());
    EXPECT_TRUE(Child<TLockScreen>("sPanel10")->isHidden());

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
    EXPECT_FALSE(Child<QPushButton>("sButton5")->isEnabled());
    EXPECT_EQ(Child<QPushButton>("sButton5")->text(), QString());
    EXPECT_TRUE(Child<QCheckBox>("sCheckBox2")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>("sCheckBox1")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>("sCheckBox3")->isChecked());

    // The layers: intro over everything, the terminal panel hidden.
    EXPECT_EQ(Child<TIntroLayer>("ShockwaveFlash1")->geometry(), QRect(-5, -15, 609, 402));
    EXPECT_TRUE(Child<TIntroLayer>("ShockwaveFlash1")->Playing());
    EXPECT_EQ(Child<TIntroLayer>("ShockwaveFlash1")->Movie(), QCoreApplication::applicationDirPath() + "/conf.xls");
    EXPECT_TRUE(Child<QFrame>("sPanel7")->isHidden());

    // The intro hides after its timer and stops animating.
    EXPECT_EQ(Child<QTimer>("introTimer")->interval(), 15000);
    EXPECT_TRUE(Child<QTimer>("introTimer")->isActive());
    form->EndIntro();
    EXPECT_TRUE(Child<TIntroLayer>("ShockwaveFlash1")->isHidden());
    EXPECT_FALSE(Child<TIntroLayer>("ShockwaveFlash1")->Playing());
}

TEST_F(ConsoleStart, MissingLinesGiveEmptyCaptionsAndStillSend)
{
    WriteConfig(QStringList{SettingsFile::kSeparator, QString::fromStdString(pty.SlavePath()),
                            SettingsFile::kSeparator, "Tylko pierwsze"});
    StartPolling();
    EXPECT_EQ(form->InputBox(1)->text(), "Tylko pierwsze");
    EXPECT_EQ(form->InputBox(2)->text(), QString());
    EXPECT_EQ(form->OutputButton(16)->text(), QString());
    EXPECT_FALSE(Child<TLockScreen>("sPanel10")->isHidden());   // no marker: locked
    form->SwitchOutput(16);
    EXPECT_EQ(ReadFromConsole(1, 500), "g");
}

// A device that is missing at start is a line that was lost: one report, the rest of the
// start-up, and polling once the device appears.
TEST_F(ConsoleStart, MissingDeviceIsReportedOnceAndPolledWhenItAppears)
{
    const QString link = QDir::current().filePath(QStringLiteral("ttyLATER"));
    WriteConfig(ConfigLines(link, &kUnlocked));
    Start();
    EXPECT_FALSE(line->Port().Connected());
    EXPECT_TRUE(Child<QTimer>("lockWatch")->isActive());
    EXPECT_EQ(form->InputBox(1)->text(), "Wejście 1");
    EXPECT_EQ(form->OutputButton(16)->text(), "Wyjście 16");
    form->EndIntro();
    EXPECT_TRUE(Child<TLockScreen>("sPanel10")->isHidden());   // line 37 says unlocked
    // The open failure is reported once; the polling requests that fail because of it add nothing.
    line->Session().firstInputRead->setInterval(300);
    line->Session().firstInputRead->start();
    Spin(1200);
    const QStringList errors = TestApplication::TakeReportedErrors();
    ASSERT_EQ(errors.size(), 1) << errors.join(" | ").toStdString();
    EXPECT_EQ(errors.first(), "Unable to open com port (win error code: 2)");
    // A command of the user still fails loudly.
    EXPECT_THROW(form->ChangeMode(), EComPort);

    // The device appears: the port opens and polling starts, within about a second.
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(ReadFromConsole(1, 2000), "x");
    EXPECT_TRUE(line->Port().Connected());
    EXPECT_FALSE(line->Keeper().Searching());
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
    form->EndIntro();
    form->show();
    NotingDialog routing, about, naming;
    form->SetWindows(&routing, &about, &naming);
    QTest::mouseClick(Child<QPushButton>("sButton1"), Qt::LeftButton);
    EXPECT_EQ(naming.opened, 1);
    QTest::mouseClick(Child<QPushButton>("sWebLabel1"), Qt::LeftButton);
    EXPECT_EQ(about.opened, 1);
    EXPECT_EQ(routing.opened, 0);

    // The routing window: polling stops, a wait, the main window hides, the window opens.
    pty.Write(std::string(16, '0') + "!");
    ASSERT_EQ(ReadFromConsole(1, 1000), "q");
    EXPECT_TRUE(line->Session().State().InputReadActive);
    QElapsedTimer took;
    took.start();
    QTest::mouseClick(Child<QPushButton>("sBitBtn2"), Qt::LeftButton);
    EXPECT_GE(took.elapsed(), 790);
    EXPECT_EQ(routing.opened, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(line->Session().State().InputReadActive);
    EXPECT_FALSE(line->Session().State().OutputReadActive);
    EXPECT_FALSE(line->Session().outputPoll->isActive());
    EXPECT_FALSE(line->Session().inputPoll->isActive());
    EXPECT_EQ(DrainConsole(400), "");

    EXPECT_EQ(terminations, 0);
    form->show();
    QTest::mouseClick(Child<QPushButton>("sButton2"), Qt::LeftButton);
    EXPECT_EQ(terminations, 1);
}

using Polling = ConsoleFixture;

TEST_F(Polling, CycleAlternatesOutputAndInputRequests)
{
    WriteConfig(kUnlocked);
    StartPolling();
    EXPECT_TRUE(line->Session().State().OutputReadActive);
    EXPECT_EQ(DrainConsole(300), "");   // no time-out: the cycle waits for the reply

    pty.Write("1" + std::string(14, '0') + "1!");
    QElapsedTimer sinceBang;
    sinceBang.start();
    ASSERT_EQ(ReadFromConsole(1, 1000), "q");
    EXPECT_GE(sinceBang.elapsed(), 180);
    EXPECT_LT(sinceBang.elapsed(), 700);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form->OutputIndicator(n)->isChecked(), n == 1 || n == 16) << n;

    pty.Write("01" + std::string(14, '0'));
    QElapsedTimer sinceLast;
    sinceLast.start();
    ASSERT_EQ(ReadFromConsole(1, 1000), "x");
    EXPECT_GE(sinceLast.elapsed(), 180);
    EXPECT_LT(sinceLast.elapsed(), 700);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form->InputBox(n)->isChecked(), n == 2) << n;

    // Mode characters, '?' and '/' at any time.
    Reply("]");
    EXPECT_EQ(Child<QPushButton>("sButton5")->text(), "Wejścia równorzędne");
    EXPECT_FALSE(form->OutputIndicator(1)->isChecked());   // ']' also counted as output 1 off
    Reply("}");
    EXPECT_EQ(Child<QPushButton>("sButton5")->text(), "Pilot i komputer nadrzędne");
    Reply("[");
    EXPECT_EQ(Child<QPushButton>("sButton5")->text(), "Tylko pilot i komputer");

    {
        ModalAnswers closer({}, ModalAnswers::Otherwise::Accept);
        pty.Write("?");
        ASSERT_TRUE(WaitFor([&] { return !closer.texts.isEmpty(); }, 1000));
        EXPECT_EQ(closer.texts.first(), "Proces zapisywania zakończony !");
    }
    pty.Write("/");
    EXPECT_EQ(ReadFromConsole(1, 1000), "x");
    Reply(std::string(16, '1') + "!");
    for (int n = 1; n <= 16; ++n)
        EXPECT_TRUE(form->OutputIndicator(n)->isChecked()) << n;
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(Polling, TimerFiveAsksForInputsOnce)
{
    WriteConfig(kUnlocked);
    StartPolling();
    EXPECT_EQ(line->Session().firstInputRead->interval(), 5000);
    EXPECT_TRUE(line->Session().firstInputRead->isActive());
    line->Session().firstInputRead->setInterval(50);
    line->Session().firstInputRead->start();
    EXPECT_EQ(ReadFromConsole(1, 500), "q");
    EXPECT_TRUE(line->Session().State().InputReadActive);
    EXPECT_EQ(DrainConsole(300), "");
}

TEST_F(Polling, RoutingDumpReachesTheView)
{
    WriteConfig(kUnlocked);
    StartPolling();
    DumpLines view;
    QObject::connect(&line->Session(), &TControllerSession::DumpLine, [&](const QString& line) { view.lines << line; });
    line->Session().State().ConfigDumpActive = true;
    std::string dump = "1" + std::string(14, '0') + "1";
    dump += std::string(255 - 16, '0') + "1";
    line->Session().State().OutputReadActive = false;
    Reply(dump, 300);
    ASSERT_EQ(view.lines.size(), 16);
    EXPECT_EQ(view.lines[0], "Wyjście 1 jest sterowane przez wejścia : 16,1");
    EXPECT_EQ(view.lines[15], "Wyjście 16 jest sterowane przez wejścia: 1");
    EXPECT_EQ(form->ListField(1), "16,1");
    EXPECT_FALSE(line->Session().State().ConfigDumpActive);
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
    form->InputBox(3)->setChecked(true);

    pty.CloseMaster();   // the cable is pulled
    ASSERT_TRUE(WaitFor([&] { return !line->Port().Connected(); }, 2000));
    ASSERT_NE(form->findChild<QMessageBox*>(QStringLiteral("LineLostBox")), nullptr);
    EXPECT_TRUE(form->findChild<QMessageBox*>(QStringLiteral("LineLostBox"))->isVisible());
    EXPECT_TRUE(form->findChild<QMessageBox*>(QStringLiteral("LineLostBox"))->text().contains(link));
    // Polling has stopped, and a request made meanwhile fails quietly: the box said it all.
    EXPECT_FALSE(line->Session().outputPoll->isActive() || line->Session().inputPoll->isActive());
    line->Session().firstInputRead->setInterval(50);
    line->Session().firstInputRead->start();
    Spin(1500);   // the reconnect attempts meanwhile find nothing
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
    EXPECT_FALSE(line->Port().Connected());
    // A click of the user is still answered with the port's error.
    QTest::mouseClick(Child<QPushButton>("sButton4"), Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);

    // The device comes back under the same name: the console finds it and polls again.
    PtyPair back;
    QFile::remove(link);
    ASSERT_EQ(::symlink(back.SlavePath().c_str(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(readFrom(back, 1, 3000), "x");
    EXPECT_TRUE(line->Port().Connected());
    EXPECT_FALSE(form->findChild<QMessageBox*>(QStringLiteral("LineLostBox"))->isVisible());
    EXPECT_FALSE(line->Keeper().ReconnectTimer->isActive());
    back.Write("1" + std::string(15, '0') + "!");
    EXPECT_EQ(readFrom(back, 1, 1000), "q");
    EXPECT_TRUE(form->OutputIndicator(1)->isChecked());
    // Nothing the user set up was lost on the way.
    EXPECT_TRUE(form->InputBox(3)->isChecked());
    EXPECT_EQ(form->OutputButton(1)->text(), QStringLiteral("Wyjście 1"));
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(Polling, AnOutOfTurnRequestInsideAReplyDoesNotStartASecondCycle)
{
    WriteConfig(kUnlocked);
    StartPolling();   // "x" has gone out
    line->Session().firstInputRead->stop();
    // The one-off input request lands in the middle of the output reply.
    Reply("10000000");
    line->Session().FirstInputReadDue();
    ASSERT_EQ(ReadFromConsole(1, 500), "q");
    Reply("00000001!");                 // the rest of the output reply
    Reply(std::string(16, '0'));        // the controller's answer to "q"
    // Both the '!' and the sixteenth input character asked for the next request; only one
    // cycle may go on, or the two would read each other's replies from then on.
    EXPECT_FALSE(line->Session().outputPoll->isActive() && line->Session().inputPoll->isActive());
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
    EXPECT_TRUE(form->OutputIndicator(2)->isChecked());
    EXPECT_TRUE(form->OutputIndicator(16)->isChecked());
    EXPECT_FALSE(form->OutputIndicator(1)->isChecked());
    EXPECT_TRUE(form->InputBox(3)->isChecked());
    EXPECT_FALSE(form->InputBox(1)->isChecked());
}

using Outputs = ConsoleFixture;

TEST_F(Outputs, EachButtonSendsItsCommandAndLeavesTheIndicator)
{
    WriteConfig(kUnlocked);
    StartPolling();
    form->EndIntro();
    const std::string commands = "0123456789=asdfg";
    for (int k = 0; k < 16; ++k) {
        QTest::mouseClick(form->OutputButton(k + 1), Qt::LeftButton);
        EXPECT_EQ(ReadFromConsole(1, 500), std::string(1, commands[k])) << "output " << k + 1;
        EXPECT_FALSE(form->OutputIndicator(k + 1)->isChecked());
    }
    QTest::mouseClick(Child<QPushButton>("sButton4"), Qt::LeftButton);
    EXPECT_EQ(ReadFromConsole(1, 500), "Q");
    EXPECT_EQ(Child<QPushButton>("sButton5")->text(), QString());
    // Clicking a display changes nothing: the click goes to whatever lies beneath it.
    for (QWidget* display : {static_cast<QWidget*>(form->OutputIndicator(4)),
                             static_cast<QWidget*>(form->InputBox(4))}) {
        const QPoint at = display->mapTo(form.get(), QPoint(6, 8));
        QWidget* hit = form->childAt(at);
        ASSERT_TRUE(hit);
        EXPECT_NE(hit, display);
        QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(form.get(), at));
    }
    EXPECT_FALSE(form->OutputIndicator(4)->isChecked());
    EXPECT_FALSE(form->InputBox(4)->isChecked());
    EXPECT_EQ(DrainConsole(50), "");
}

using Learning = ConsoleFixture;

TEST_F(Learning, StartCoversTheWindowStopsPollingAndTypesToTheController)
{
    WriteConfig(kUnlocked);
    StartPolling();
    form->show();
    form->EndIntro();
    Child<TComTerminal>("ComTerminal1")->DisplayText("stare linie\r\n");
    QElapsedTimer took;
    took.start();
    QTest::mouseClick(Child<QPushButton>("sBitBtn1"), Qt::LeftButton);
    EXPECT_GE(took.elapsed(), 790);
    EXPECT_EQ(Child<QFrame>("sPanel7")->pos(), QPoint(0, 0));
    EXPECT_FALSE(Child<QFrame>("sPanel7")->isHidden());
    EXPECT_EQ(ReadFromConsole(1, 500), "R");
    EXPECT_FALSE(line->Session().State().InputReadActive);
    EXPECT_FALSE(line->Session().State().OutputReadActive);
    EXPECT_EQ(DrainConsole(600), "");   // a silent controller gets no requests

    // Under the panel nothing can be reached.
    EXPECT_FALSE(form->OutputButton(1)->isEnabled());
    form->OutputButton(1)->click();
    QTest::mouseClick(Child<QPushButton>("sButton4"), Qt::LeftButton);
    EXPECT_EQ(DrainConsole(50), "");

    // Keys typed into the terminal go to the controller as they are typed.
    QTest::keyClicks(Child<TComTerminal>("ComTerminal1"), "a5");
    EXPECT_EQ(ReadFromConsole(2, 500), "a5");

    // '!' from the controller restarts the cycle under the panel.
    Reply("!");
    EXPECT_EQ(ReadFromConsole(1, 500), "q");

    ModalAnswers closer({}, ModalAnswers::Otherwise::Accept);
    QTest::mouseClick(Child<QPushButton>("sButton7"), Qt::LeftButton);
    ASSERT_EQ(closer.texts.size(), 1);
    EXPECT_EQ(closer.texts.first(), "Naciśnij przycisk Reset w sterowniku oraz uruchom ponownie aplikację !");
    EXPECT_EQ(terminations, 1);
}

TEST_F(Learning, FailedStartShowsThePanelAndStopsThere)
{
    WriteConfig(kUnlocked);
    StartPolling();
    pty.CloseMaster();
    QTest::mouseClick(Child<QPushButton>("sBitBtn1"), Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);
    EXPECT_FALSE(Child<QFrame>("sPanel7")->isHidden());
    EXPECT_TRUE(line->Session().State().OutputReadActive);   // the steps after the write did not run
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
