#include "AboutBox.h"
#include "FindChild.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

TEST(AboutBox, ThreeLinesFitTheirPlacesInTheFixedWindow)
{
    AboutBox form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Selvora"));
    EXPECT_EQ(form.size(), QSize(420, 56));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(FindChild<QLabel>(&form, QStringLiteral("sLabel1"))->pos(), QPoint(8, 8));
    EXPECT_EQ(FindChild<QLabel>(&form, QStringLiteral("sLabel2"))->pos(), QPoint(264, 8));
    EXPECT_EQ(FindChild<QLabel>(&form, QStringLiteral("sLabel3"))->pos(), QPoint(8, 32));
    EXPECT_EQ(FindChild<QLabel>(&form, QStringLiteral("sLabel3"))->width(), 406);

    // Each line is readable in full: it neither runs into its neighbour nor off the window.
    for (QLabel* label : {FindChild<QLabel>(&form, QStringLiteral("sLabel1")), FindChild<QLabel>(&form, QStringLiteral("sLabel2")), FindChild<QLabel>(&form, QStringLiteral("sLabel3"))}) {
        EXPECT_FALSE(label->text().isEmpty());
        EXPECT_EQ(label->font().pixelSize(), 11);
        const QFontMetrics fm(label->font());
        EXPECT_LE(fm.horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
        EXPECT_LE(label->geometry().right(), 419);
        EXPECT_LE(label->geometry().bottom(), 55);
    }
    EXPECT_LE(FindChild<QLabel>(&form, QStringLiteral("sLabel1"))->geometry().right(), FindChild<QLabel>(&form, QStringLiteral("sLabel2"))->x());
    EXPECT_TRUE(FindChild<QLabel>(&form, QStringLiteral("sLabel3"))->text().contains(QStringLiteral("Selvora")));

    // Opens in the middle of the screen, even after being moved away.
    form.move(0, 0);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QPoint offset = form.frameGeometry().center() - form.screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
}

}  // namespace
