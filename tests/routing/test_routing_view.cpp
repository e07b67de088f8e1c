#include "RoutingFixture.h"
#include "FindChild.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

// A routing-table reply: output 1 controlled by inputs 16 and 1, output 5 by input 4, the rest
// by none. Within a block input 16 comes first.
std::string DumpReply()
{
    std::string s(256, '0');
    s[0] = '1';
    s[15] = '1';
    s[16 * 4 + 12] = '1';
    return s;
}

QStringList Lines(const RoutingTableView* view)
{
    QString text = FindChild<QPlainTextEdit>(view, QStringLiteral("Memo1"))->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

}  // namespace

using RoutingView = RoutingFixture;

TEST_F(RoutingView, RequestClearsShowsSendsAndRaisesTheFlag)
{
    Build();
    view->AppendDumpLine(QStringLiteral("left over"));
    matrix->ShowControllerTable();
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(FindChild<QPlainTextEdit>(view, QStringLiteral("Memo1"))->toPlainText().isEmpty());
    EXPECT_TRUE(ConfigDumpActive());
    EXPECT_EQ(pty.Read(1, 1000), "C");
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Aktualna konfiguracja"));
}

TEST_F(RoutingView, TwoRequestsInARowRefillSixteenLines)
{
    Build();
    matrix->show();
    for (int round = 0; round < 2; ++round) {
        matrix->ShowControllerTable();
        ASSERT_EQ(pty.Read(1, 1000), "C");
        EXPECT_TRUE(Lines(view).isEmpty());
        pty.Write(DumpReply());
        ASSERT_TRUE(WaitFor([&] { return !ConfigDumpActive(); })) << "round " << round;
        const QStringList lines = Lines(view);
        ASSERT_EQ(lines.size(), 16) << "round " << round;
        EXPECT_EQ(lines[0], QString::fromUtf8("Wyjście 1 jest sterowane przez wejścia : 16,1"));
        EXPECT_EQ(lines[4], QString::fromUtf8("Wyjście 5 jest sterowane przez wejścia : 4,"));
        EXPECT_EQ(lines[15], QString::fromUtf8("Wyjście 16 jest sterowane przez wejścia: "));
    }
}

TEST_F(RoutingView, AktualizujDoesTheSameRequestAndWorksBesideTheModalMatrix)
{
    Build();
    std::string sent;
    bool viewUsable = false;
    QTimer::singleShot(0, matrix, [&] {
        matrix->activateWindow();
        if (!QTest::qWaitForWindowActive(matrix))
            ADD_FAILURE() << "matrix window not active";
        QTest::keyClick(matrix, Qt::Key_F3);
        sent += pty.Read(1, 1000);
        pty.Write(DumpReply().substr(0, 40));
    });
    QTimer::singleShot(300, matrix, [&] {
        // A click through the window system: a window blocked by the modal one would drop it.
        if (!QTest::qWaitForWindowExposed(view))
            ADD_FAILURE() << "view not shown";
        QWindow* w = view->windowHandle();
        const QPoint at = FindChild<QPushButton>(view, QStringLiteral("sButton2"))->mapTo(view, FindChild<QPushButton>(view, QStringLiteral("sButton2"))->rect().center());
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
        sent += pty.Read(1, 1000);
        viewUsable = view->isVisible() && Lines(view).isEmpty() && ConfigDumpActive();
        matrix->close();
    });
    matrix->exec();
    EXPECT_EQ(sent, "CC");
    EXPECT_TRUE(viewUsable);
}

TEST_F(RoutingView, ClosedPortShowsTheEmptyViewAndLeavesTheFlagDown)
{
    Build(/*openPort=*/false);
    view->AppendDumpLine(QStringLiteral("old"));
    EXPECT_THROW(matrix->ShowControllerTable(), EComPort);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(Lines(view).isEmpty());
    EXPECT_FALSE(ConfigDumpActive());

    view->show();
    QTest::mouseClick(FindChild<QPushButton>(view, QStringLiteral("sButton2")), Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);
    EXPECT_FALSE(ConfigDumpActive());
}

TEST_F(RoutingView, HidingDuringCollectionKeepsAppending)
{
    Build();
    matrix->ShowControllerTable();
    ASSERT_EQ(pty.Read(1, 1000), "C");
    const std::string reply = DumpReply();
    pty.Write(reply.substr(0, 100));   // six whole blocks and part of the seventh
    ASSERT_TRUE(WaitFor([&] { return Lines(view).size() == 6; }));

    QTest::mouseClick(FindChild<QPushButton>(view, QStringLiteral("sButton1")), Qt::LeftButton);   // "Zamknij okno"
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(ConfigDumpActive());

    pty.Write(reply.substr(100));
    ASSERT_TRUE(WaitFor([&] { return !ConfigDumpActive(); }));
    EXPECT_EQ(Lines(view).size(), 16);
    EXPECT_FALSE(view->isVisible());
}

TEST_F(RoutingView, CloseEventLowersTheFlagWhileClosingTheMatrixOnlyHides)
{
    Build();
    matrix->show();
    matrix->ShowControllerTable();
    ASSERT_EQ(pty.Read(1, 1000), "C");

    matrix->close();
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(ConfigDumpActive());

    matrix->show();
    matrix->ShowControllerTable();
    EXPECT_TRUE(view->isVisible());
    view->close();
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(ConfigDumpActive());
    // The characters that still come are no dump any more.
    pty.Write(std::string(20, '1'));
    QTest::qWait(100);
    EXPECT_TRUE(Lines(view).isEmpty());
}

TEST_F(RoutingView, ViewSitsUnderTheMatrixWindowAndFollowsItsMoves)
{
    Build();
    matrix->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(matrix));
    auto below = [&] { return matrix->frameGeometry().topLeft() + QPoint(0, 361); };

    // Moved while the view is hidden: the view is in place as soon as it shows.
    matrix->move(120, 40);
    ASSERT_TRUE(WaitFor([&] { return matrix->frameGeometry().topLeft() == QPoint(120, 40); }));
    matrix->ShowControllerTable();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    EXPECT_TRUE(WaitFor([&] { return view->frameGeometry().topLeft() == below(); }))
        << view->frameGeometry().x() << "," << view->frameGeometry().y();
    EXPECT_EQ(view->frameGeometry().size(), QSize(611, 212));

    // Dragged around while the view is open.
    for (const QPoint p : {QPoint(300, 10), QPoint(5, 200), QPoint(640, 333)}) {
        matrix->move(p);
        EXPECT_TRUE(WaitFor([&] {
            return matrix->frameGeometry().topLeft() == p && view->frameGeometry().topLeft() == below();
        })) << p.x() << "," << p.y();
    }
}

TEST_F(RoutingView, EachWindowStaysOwnedByItsCreator)
{
    Build();
    matrix->ShowControllerTable();
    QPointer<RoutingTableView> survivor(view);
    delete matrix;   // the matrix window goes first: the view survives it
    matrix = nullptr;
    ASSERT_FALSE(survivor.isNull());
    EXPECT_TRUE(survivor->isWindow());
    FindChild<QPushButton>(survivor.data(), QStringLiteral("sButton2"))->click();   // still sends its request
    EXPECT_EQ(pty.Read(2, 1000), "CC");

    // And the other way round.
    delete view;
    view = nullptr;
    matrix = new RoutingMatrixWindow;
    view = new RoutingTableView;
    Bind();
    delete view;
    view = nullptr;
    matrix->show();
    matrix->close();   // hides no view that is gone
    EXPECT_TRUE(mainWindow.isVisible());
}
