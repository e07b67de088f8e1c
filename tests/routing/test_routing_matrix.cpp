#include "RoutingFixture.h"
#include "FindChild.h"

#include "ColumnHeader.h"
#include "ModalAnswers.h"
#include "PassProgress.h"
#include "PaintCounter.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <thread>
#include <vector>

namespace {

QString Utf8(const char* s)
{
    return QString::fromUtf8(s);
}

}  // namespace

using RoutingMatrix = RoutingFixture;

TEST_F(RoutingMatrix, CaptionsWithoutSettingsFileUseTheBuiltInNames)
{
    Build();
    EXPECT_EQ(matrix->ColumnHeader(1)->text(), Utf8("1 wejście steruje"));
    EXPECT_EQ(matrix->ColumnHeader(16)->text(), Utf8("16 wejście steruje"));
    for (int k = 1; k <= 16; ++k) {
        EXPECT_EQ(matrix->Cell(k, 1)->text(), Utf8("1 urządzenie")) << k;
        EXPECT_EQ(matrix->Cell(k, 16)->text(), Utf8("16 urządzenie")) << k;
    }
    EXPECT_EQ(matrix->windowTitle(), Utf8("Konfiguracja ! F2  ZAPISZ USTAWIENIA, F3 POKAŻ AKTUALNE UST."));
}

TEST_F(RoutingMatrix, CaptionsComeFromTheSettingsFileAsItWasAtCreation)
{
    QStringList lines;
    for (int i = 0; i < 38; ++i)
        lines.append(QStringLiteral("L%1").arg(i));
    lines[3] = Utf8("Włącznik przy drzwiach");
    lines[21] = Utf8("Światło w kuchni");
    WriteSettings(lines);
    Build();

    EXPECT_EQ(matrix->ColumnHeader(1)->text(), Utf8("Włącznik przy drzwiach steruje"));
    EXPECT_EQ(matrix->ColumnHeader(16)->text(), QStringLiteral("L18 steruje"));
    // Too long for its column: cut with "…" inside the panel, whole as tooltip and for
    // assistive tools.
    TColumnHeader* longHeader = matrix->ColumnHeader(1);
    EXPECT_TRUE(longHeader->DisplayedText().endsWith(QChar(0x2026)));
    EXPECT_TRUE(Utf8("Włącznik przy drzwiach steruje").startsWith(longHeader->DisplayedText().chopped(1)));
    EXPECT_LE(longHeader->geometry().right(), matrix->Column(1)->width());
    EXPECT_EQ(longHeader->toolTip(), longHeader->text());
    EXPECT_EQ(longHeader->accessibleName(), longHeader->text());
    EXPECT_EQ(matrix->ColumnHeader(16)->DisplayedText(), QStringLiteral("L18 steruje"));
    for (int k = 1; k <= 16; ++k) {
        EXPECT_EQ(matrix->Cell(k, 1)->text(), Utf8("Światło w kuchni")) << k;
        EXPECT_EQ(matrix->Cell(k, 16)->text(), QStringLiteral("L36")) << k;
    }
    // The lines around the names never show.
    for (QCheckBox* box : matrix->findChildren<QCheckBox*>()) {
        EXPECT_FALSE(box->text().startsWith(QStringLiteral("L20"))) << box->objectName().toStdString();
        EXPECT_FALSE(box->text().startsWith(QStringLiteral("L37"))) << box->objectName().toStdString();
    }
    // Names are read once: a later change of the file does not reach the window.
    lines[21] = QStringLiteral("changed");
    WriteSettings(lines);
    matrix->show();
    EXPECT_EQ(matrix->Cell(3, 1)->text(), Utf8("Światło w kuchni"));
}

TEST_F(RoutingMatrix, ShortSettingsFileLeavesMissingNamesEmpty)
{
    QStringList lines;
    for (int i = 0; i < 22; ++i)   // ends after the first output's name
        lines.append(QStringLiteral("L%1").arg(i));
    WriteSettings(lines);
    Build();
    EXPECT_EQ(matrix->Cell(1, 1)->text(), QStringLiteral("L21"));
    EXPECT_EQ(matrix->Cell(1, 2)->text(), QString());
    EXPECT_EQ(matrix->Cell(7, 16)->text(), QString());
    EXPECT_EQ(matrix->ColumnHeader(16)->text(), QStringLiteral("L18 steruje"));
}

TEST_F(RoutingMatrix, ControlsCarryTheFormNamesForTheirInputs)
{
    Build();
    EXPECT_EQ(matrix->Column(1)->objectName(), QStringLiteral("sPanel2"));
    EXPECT_EQ(matrix->Cell(10, 3)->objectName(), QStringLiteral("CheckBox227"));
    EXPECT_EQ(matrix->findChild<QCheckBox*>(QStringLiteral("CheckBox17")), matrix->Cell(1, 1));
    // Input 1's column is leftmost and the columns stand in input order.
    for (int k = 2; k <= 16; ++k)
        EXPECT_GT(matrix->Column(k)->x(), matrix->Column(k - 1)->x()) << k;
    for (int j = 2; j <= 16; ++j)
        EXPECT_GT(matrix->Cell(4, j)->y(), matrix->Cell(4, j - 1)->y()) << j;
    EXPECT_EQ(matrix->findChildren<QCheckBox*>().size(), 16 + 256);
    for (int k = 1; k <= 16; ++k)
        for (int j = 1; j <= 16; ++j)
            ASSERT_FALSE(matrix->Cell(k, j)->isChecked());
}

TEST_F(RoutingMatrix, HeadersCannotBeToggledWhileCellsCan)
{
    Build();
    matrix->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(matrix));
    QCheckBox* header = matrix->ColumnHeader(1);
    QTest::mouseClick(header, Qt::LeftButton);
    QTest::keyClick(header, Qt::Key_Space);
    EXPECT_FALSE(header->isChecked());
    EXPECT_EQ(header->focusPolicy(), Qt::NoFocus);

    QCheckBox* cell = matrix->Cell(1, 1);
    QTest::mouseClick(cell, Qt::LeftButton);
    EXPECT_TRUE(cell->isChecked());
    QTest::keyClick(cell, Qt::Key_Space);
    EXPECT_FALSE(cell->isChecked());
}

TEST_F(RoutingMatrix, RightClickAnywhereOpensThePopupWithBothCommands)
{
    Build();
    matrix->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(matrix));
    ASSERT_EQ(FindChild<QMenu>(matrix, QStringLiteral("PopupMenu1"))->actions(), (QList<QAction*>{FindChild<QAction>(matrix, QStringLiteral("Zapisz1")), FindChild<QAction>(matrix, QStringLiteral("Stankonfiguracji1")), FindChild<QAction>(matrix, QStringLiteral("Wczytajzesterownika1")),
                                   FindChild<QMenu>(matrix, QStringLiteral("PopupMenu1"))->actions()[3], FindChild<QAction>(matrix, QStringLiteral("Zapiszdopliku1")),
                                   FindChild<QAction>(matrix, QStringLiteral("Wczytajzpliku1")), FindChild<QAction>(matrix, QStringLiteral("DrukujdoPDF1"))}));
    EXPECT_TRUE(FindChild<QMenu>(matrix, QStringLiteral("PopupMenu1"))->actions()[3]->isSeparator());

    for (QWidget* target : {static_cast<QWidget*>(matrix->Cell(5, 9)),
                            static_cast<QWidget*>(matrix->ColumnHeader(2)),
                            static_cast<QWidget*>(matrix->Column(3))}) {
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(target, &ev);
        EXPECT_TRUE(FindChild<QMenu>(matrix, QStringLiteral("PopupMenu1"))->isVisible()) << target->objectName().toStdString();
        FindChild<QMenu>(matrix, QStringLiteral("PopupMenu1"))->hide();
    }
}

TEST_F(RoutingMatrix, FixedOuterSizeAndHorizontalScrolling)
{
    Build();
    matrix->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(matrix));
    QCoreApplication::processEvents();
    EXPECT_EQ(matrix->frameGeometry().size(), QSize(610, 361));
    EXPECT_EQ(matrix->minimumSize(), matrix->maximumSize());

    QScrollBar* bar = FindChild<QScrollArea>(matrix, QStringLiteral("ScrollBox"))->horizontalScrollBar();
    EXPECT_EQ(bar->singleStep(), 54);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 54);
    EXPECT_EQ(FindChild<QScrollArea>(matrix, QStringLiteral("ScrollBox"))->widget()->x(), -54);
    bar->setValue(0);
}

TEST_F(RoutingMatrix, FocusOnAHiddenCellScrollsItIntoView)
{
    Build();
    matrix->show();
    matrix->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(matrix));
    QWidget* viewport = FindChild<QScrollArea>(matrix, QStringLiteral("ScrollBox"))->viewport();
    auto inView = [&](QWidget* w) {
        const QRect r(w->mapTo(viewport, QPoint(0, 0)), w->size());
        return viewport->rect().contains(r);
    };
    QCheckBox* far = matrix->Cell(16, 5);
    ASSERT_FALSE(inView(far));
    far->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    EXPECT_TRUE(inView(far));

    // Back towards the start with the keyboard.
    matrix->Cell(1, 16)->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    EXPECT_TRUE(inView(matrix->Cell(1, 16)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), matrix->Cell(2, 1));
    EXPECT_TRUE(inView(matrix->Cell(2, 1)));
}

TEST_F(RoutingMatrix, ClosingShowsTheMainWindowRestartsPollingAndKeepsTheCells)
{
    Build();
    mainWindow.hide();
    matrix->show();
    matrix->Cell(1, 1)->setChecked(true);
    matrix->Cell(9, 14)->setChecked(true);
    view->show();

    matrix->close();
    EXPECT_FALSE(matrix->isVisible());
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_TRUE(session->outputPoll->isActive());
    EXPECT_FALSE(view->isVisible());

    // Opened again the way the main window does it: modally, until the user closes it.
    mainWindow.hide();
    session->outputPoll->stop();
    bool stillChecked = false;
    QTimer::singleShot(50, matrix, [&] {
        stillChecked = matrix->Cell(1, 1)->isChecked() && matrix->Cell(9, 14)->isChecked() &&
                       !matrix->Cell(9, 13)->isChecked();
        QTest::keyClick(matrix, Qt::Key_Escape);   // closes like the close button
    });
    matrix->exec();
    EXPECT_TRUE(stillChecked);
    EXPECT_FALSE(matrix->isVisible());
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_TRUE(session->outputPoll->isActive());
}

TEST_F(RoutingMatrix, WriteSendsStartAndEveryCellAtItsPosition)
{
    Build();
    const struct {
        int input, output;
    } cases[] = {{0, 0}, {1, 1}, {16, 1}, {1, 2}, {16, 16}};
    for (const auto& c : cases) {
        for (int k = 1; k <= 16; ++k)
            for (int j = 1; j <= 16; ++j)
                matrix->Cell(k, j)->setChecked(k == c.input && j == c.output);
        matrix->WriteMatrix();
        EXPECT_EQ(pty.Read(257, 2000), Expected(c.input, c.output))
            << "input " << c.input << " output " << c.output;
        EXPECT_EQ(pty.Drain(30, 100), "");
    }

    // A pattern: every cell where input == output (the diagonal).
    for (int k = 1; k <= 16; ++k)
        for (int j = 1; j <= 16; ++j)
            matrix->Cell(k, j)->setChecked(k == j);
    matrix->WriteMatrix();
    const std::string got = pty.Read(257, 2000);
    ASSERT_EQ(got.size(), 257u);
    for (int p = 0; p < 256; ++p)
        EXPECT_EQ(got[1 + p], p % 16 == p / 16 ? '1' : '0') << p;
}

TEST_F(RoutingMatrix, ProgressIsPaintedPerCharacterWhileNothingElseIsProcessed)
{
    Build();
    matrix->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(matrix));

    // Counts the paints of the indicator (children included).
    PaintCounter counter;
    matrix->Progress()->installEventFilter(&counter);

    bool timerFired = false;
    QTimer::singleShot(0, matrix, [&] { timerFired = true; });
    std::vector<int> seen;
    std::vector<int> paintsAtWait;
    bool visibleThroughout = true;
    bool eventsProcessed = false;
    matrix->SleepUntil = [&](Routing::PassClock::time_point) {
        seen.push_back(matrix->Progress()->Sent());
        paintsAtWait.push_back(counter.paints);
        visibleThroughout = visibleThroughout && matrix->Progress()->isVisible();
        eventsProcessed = eventsProcessed || timerFired || !received.empty();
        if (seen.size() == 100)
            pty.Write("?]");   // the controller answers mid-pass
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    matrix->WriteMatrix();

    ASSERT_EQ(seen.size(), 257u);
    for (int i = 0; i <= 256; ++i)
        ASSERT_EQ(seen[i], i);
    for (size_t i = 1; i < paintsAtWait.size(); ++i)
        ASSERT_GT(paintsAtWait[i], paintsAtWait[i - 1]) << "no repaint before wait " << i;
    EXPECT_TRUE(visibleThroughout);
    EXPECT_FALSE(eventsProcessed);
    EXPECT_EQ(matrix->Progress()->Text(), QStringLiteral("Zapisywanie konfiguracji: 256 z 256"));
    EXPECT_FALSE(matrix->Progress()->isVisible());
    EXPECT_EQ(pty.Read(257, 2000), Expected());

    // What arrived meanwhile is delivered once the pass has returned, in order.
    EXPECT_TRUE(WaitFor([&] { return received == "?]"; }));
    EXPECT_TRUE(timerFired);
}

TEST_F(RoutingMatrix, ClosedPortFailsAtTheStartAndSendsNothing)
{
    Build(/*openPort=*/false);
    matrix->show();
    matrix->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(matrix));
    std::string message;
    try {
        matrix->WriteMatrix();
        ADD_FAILURE() << "write on a closed port succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 2);
        message = e.what();
    }
    EXPECT_FALSE(matrix->Progress()->isVisible());

    // From the keyboard: the table cannot be read, the user writes all the same, and is told
    // in words that the controller did not take it, not with the port's error.
    ModalAnswers answers({QStringLiteral("Zapisz")});
    QTest::keyClick(matrix, Qt::Key_F2);
    EXPECT_EQ(answers.texts, (QStringList{RoutingMatrixWindow::kUnreadBeforeWrite, RoutingMatrixWindow::kWriteNotConfirmed}));
    EXPECT_EQ(answers.titles, (QStringList{RoutingMatrixWindow::kQuestionTitle, RoutingMatrixWindow::kQuestionTitle}));
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
    EXPECT_FALSE(message.empty());
    EXPECT_TRUE(matrix->isVisible());
    EXPECT_TRUE(FindChild<QAction>(matrix, QStringLiteral("Zapisz1"))->isEnabled());
    EXPECT_EQ(pty.Drain(50, 200), "");
}

TEST_F(RoutingMatrix, AWriteFailingMidwayEndsThePassAtThatCharacter)
{
    Build();
    for (int k = 1; k <= 16; ++k)
        matrix->Cell(k, 1)->setChecked(true);
    // Collected as it goes: closing the port discards what the line has not delivered yet.
    std::string got;
    int waits = 0;
    matrix->SleepUntil = [&](Routing::PassClock::time_point) {
        got += pty.Read(1, 1000);
        if (++waits == 41)   // after "c" and 40 routing characters
            port->SetConnected(false);
    };
    EXPECT_THROW(matrix->WriteMatrix(), EComPort);
    got += pty.Drain(50, 200);
    EXPECT_EQ(got, "c" + std::string(16, '1') + std::string(24, '0'));
    EXPECT_EQ(waits, 41);
    EXPECT_EQ(matrix->Progress()->Sent(), 40);
    EXPECT_FALSE(matrix->Progress()->isVisible());
}

TEST_F(RoutingMatrix, AWriteTheLineDoesNotTakeIsAFailureNotASilentGap)
{
    Build();
    // A stalled line: nothing reads the other end and writes give up after 50 ms.
    port->Timeouts()->SetWriteTotalMultiplier(0);
    port->Timeouts()->SetWriteTotalConstant(50);
    const std::string block(4096, 'x');
    int filled = 0;
    while (filled < 1000 && port->WriteText(block) == static_cast<int>(block.size()))
        ++filled;
    ASSERT_LT(filled, 1000) << "the line never filled up";

    int waits = 0;
    matrix->SleepUntil = [&](Routing::PassClock::time_point) { ++waits; };
    try {
        matrix->WriteMatrix();
        ADD_FAILURE() << "a write the port did not take passed as sent";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("0 of 1"), std::string::npos) << e.what();
    }
    EXPECT_EQ(waits, 0);
    EXPECT_FALSE(matrix->Progress()->isVisible());
    const std::string line = pty.Drain(100, 5000);
    EXPECT_EQ(line.find('c'), std::string::npos);
}
