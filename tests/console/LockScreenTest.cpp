#include "LockScreen.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

TEST(LockScreen, PanelsPictureAndMaskedCodeRow)
{
    TLockScreen lock;
    EXPECT_EQ(lock.objectName(), QStringLiteral("sPanel10"));
    EXPECT_EQ(lock.geometry(), QRect(0, 0, 604, 371));
    EXPECT_EQ(lock.PicturePanel->geometry(), QRect(48, 64, 505, 189));
    EXPECT_EQ(lock.CodePanel->geometry(), QRect(48, 256, 505, 41));

    ASSERT_FALSE(lock.Image1->pixmap().isNull());
    EXPECT_EQ(lock.Image1->pixmap().size(), QSize(497, 181));
    EXPECT_TRUE(lock.PicturePanel->rect().contains(lock.Image1->geometry()));
    EXPECT_EQ(lock.Image1->size(), QSize(497, 181));

    EXPECT_EQ(lock.sEdit1->parentWidget(), lock.CodePanel);
    EXPECT_EQ(lock.sEdit1->width(), 343);
    EXPECT_EQ(lock.sButton6->parentWidget(), lock.CodePanel);
    EXPECT_EQ(lock.sButton6->text(), QStringLiteral("Odblokuj"));
    EXPECT_TRUE(lock.CodePanel->rect().contains(lock.sEdit1->geometry()));
    EXPECT_TRUE(lock.CodePanel->rect().contains(lock.sButton6->geometry()));
    EXPECT_FALSE(lock.sEdit1->geometry().intersects(lock.sButton6->geometry()));
    EXPECT_EQ(lock.sEdit1->palette().color(QPalette::Base), QColor(Qt::white));

    // Every typed character shows as '*'.
    lock.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lock));
    lock.sEdit1->setFocus();
    QTest::keyClicks(lock.sEdit1, QStringLiteral("SELVOR-8.12"));
    EXPECT_EQ(lock.sEdit1->text(), QStringLiteral("SELVOR-8.12"));
    EXPECT_EQ(lock.sEdit1->displayText(), QString(11, QLatin1Char('*')));
}

TEST(LockScreen, CoversAndShieldsTheWindowBeneath)
{
    QWidget window;
    window.resize(604, 371);
    auto* beneath = new QPushButton(QStringLiteral("a1"), &window);
    beneath->setGeometry(200, 10, 177, 25);
    int clicks = 0;
    QObject::connect(beneath, &QPushButton::clicked, [&] { ++clicks; });
    auto* lock = new TLockScreen(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QPoint onButton = beneath->geometry().center();
    QWidget* hit = window.childAt(onButton);
    ASSERT_NE(hit, nullptr);
    EXPECT_TRUE(hit == lock || lock->isAncestorOf(hit));
    // A click delivered the way the window system does lands on the panel, not the button.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, onButton);
    EXPECT_EQ(clicks, 0);
    // The panel paints its own background instead of showing the button through.
    EXPECT_TRUE(lock->autoFillBackground());

    // The keyboard starts in the code field and Tab / Backtab stay on the panel.
    window.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), lock->sEdit1);
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), i % 2 ? Qt::Key_Tab : Qt::Key_Backtab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(lock->isAncestorOf(QApplication::focusWidget()));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(clicks, 0);

    lock->hide();
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, onButton);
    EXPECT_EQ(clicks, 1);
}

}  // namespace
