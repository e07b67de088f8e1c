#include "RoutingFixture.h"

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

QStringList Lines(const TForm3* view)
{
    QString text = view->Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

}  // namespace

using RoutingView = RoutingFixture;

TEST_F(RoutingView, RequestClearsShowsSendsAndRaisesTheFlag)
{
    Build();
    form3->AppendDumpLine(QStringLiteral("left over"));
    form2->Stankonfiguracji1Click();
    EXPECT_TRUE(form3->isVisible());
    EXPECT_TRUE(form3->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(ConfigDumpActive());
    EXPECT_EQ(pty.Read(1, 1000), "C");
    EXPECT_EQ(form3->windowTitle(), QStringLiteral("Aktualna konfiguracja"));
}

TEST_F(RoutingView, TwoRequestsInARowRefillSixteenLines)
{
    Build();
    form2->show();
    for (int round = 0; round < 2; ++round) {
        form2->Stankonfiguracji1Click();
        ASSERT_EQ(pty.Read(1, 1000), "C");
        EXPECT_TRUE(Lines(form3).isEmpty());
        pty.Write(DumpReply());
        ASSERT_TRUE(WaitFor([&] { return !ConfigDumpActive(); })) << "round " << round;
        const QStringList lines = Lines(form3);
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
    QTimer::singleShot(0, form2, [&] {
        form2->activateWindow();
        if (!QTest::qWaitForWindowActive(form2))
            ADD_FAILURE() << "matrix window not active";
        QTest::keyClick(form2, Qt::Key_F3);
        sent += pty.Read(1, 1000);
        pty.Write(DumpReply().substr(0, 40));
    });
    QTimer::singleShot(300, form2, [&] {
        // A click through the window system: a window blocked by the modal one would drop it.
        if (!QTest::qWaitForWindowExposed(form3))
            ADD_FAILURE() << "view not shown";
        QWindow* w = form3->windowHandle();
        const QPoint at = form3->sButton2->mapTo(form3, form3->sButton2->rect().center());
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
        sent += pty.Read(1, 1000);
        viewUsable = form3->isVisible() && Lines(form3).isEmpty() && ConfigDumpActive();
        form2->close();
    });
    form2->exec();
    EXPECT_EQ(sent, "CC");
    EXPECT_TRUE(viewUsable);
}

TEST_F(RoutingView, ClosedPortShowsTheEmptyViewAndLeavesTheFlagDown)
{
    Build(/*openPort=*/false);
    form3->AppendDumpLine(QStringLiteral("old"));
    EXPECT_THROW(form2->Stankonfiguracji1Click(), EComPort);
    EXPECT_TRUE(form3->isVisible());
    EXPECT_TRUE(Lines(form3).isEmpty());
    EXPECT_FALSE(ConfigDumpActive());

    form3->show();
    QTest::mouseClick(form3->sButton2, Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);
    EXPECT_FALSE(ConfigDumpActive());
}

TEST_F(RoutingView, HidingDuringCollectionKeepsAppending)
{
    Build();
    form2->Stankonfiguracji1Click();
    ASSERT_EQ(pty.Read(1, 1000), "C");
    const std::string reply = DumpReply();
    pty.Write(reply.substr(0, 100));   // six whole blocks and part of the seventh
    ASSERT_TRUE(WaitFor([&] { return Lines(form3).size() == 6; }));

    QTest::mouseClick(form3->sButton1, Qt::LeftButton);   // "Zamknij okno"
    EXPECT_FALSE(form3->isVisible());
    EXPECT_TRUE(ConfigDumpActive());

    pty.Write(reply.substr(100));
    ASSERT_TRUE(WaitFor([&] { return !ConfigDumpActive(); }));
    EXPECT_EQ(Lines(form3).size(), 16);
    EXPECT_FALSE(form3->isVisible());
}

TEST_F(RoutingView, CloseEventLowersTheFlagWhileClosingTheMatrixOnlyHides)
{
    Build();
    form2->show();
    form2->Stankonfiguracji1Click();
    ASSERT_EQ(pty.Read(1, 1000), "C");

    form2->close();
    EXPECT_FALSE(form3->isVisible());
    EXPECT_TRUE(ConfigDumpActive());

    form2->show();
    form2->Stankonfiguracji1Click();
    EXPECT_TRUE(form3->isVisible());
    form3->close();
    EXPECT_FALSE(form3->isVisible());
    EXPECT_FALSE(ConfigDumpActive());
    // The characters that still come are no dump any more.
    pty.Write(std::string(20, '1'));
    QTest::qWait(100);
    EXPECT_TRUE(Lines(form3).isEmpty());
}

TEST_F(RoutingView, ViewSitsUnderTheMatrixWindowAndFollowsItsMoves)
{
    Build();
    form2->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form2));
    auto below = [&] { return form2->frameGeometry().topLeft() + QPoint(0, 361); };

    // Moved while the view is hidden: the view is in place as soon as it shows.
    form2->move(120, 40);
    ASSERT_TRUE(WaitFor([&] { return form2->frameGeometry().topLeft() == QPoint(120, 40); }));
    form2->Stankonfiguracji1Click();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form3));
    EXPECT_TRUE(WaitFor([&] { return form3->frameGeometry().topLeft() == below(); }))
        << form3->frameGeometry().x() << "," << form3->frameGeometry().y();
    EXPECT_EQ(form3->frameGeometry().size(), QSize(611, 212));

    // Dragged around while the view is open.
    for (const QPoint p : {QPoint(300, 10), QPoint(5, 200), QPoint(640, 333)}) {
        form2->move(p);
        EXPECT_TRUE(WaitFor([&] {
            return form2->frameGeometry().topLeft() == p && form3->frameGeometry().topLeft() == below();
        })) << p.x() << "," << p.y();
    }
}

TEST_F(RoutingView, EachWindowStaysOwnedByItsCreator)
{
    Build();
    form2->Stankonfiguracji1Click();
    QPointer<TForm3> view(form3);
    delete form2;   // the matrix window goes first: the view survives it
    form2 = nullptr;
    ASSERT_FALSE(view.isNull());
    EXPECT_TRUE(view->isWindow());
    view->sButton2->click();   // still sends its request
    EXPECT_EQ(pty.Read(2, 1000), "CC");

    // And the other way round.
    delete form3;
    form3 = nullptr;
    form2 = new TForm2;
    form3 = new TForm3;
    Bind();
    delete form3;
    form3 = nullptr;
    form2->show();
    form2->close();   // hides no view that is gone
    EXPECT_TRUE(mainWindow.isVisible());
}
