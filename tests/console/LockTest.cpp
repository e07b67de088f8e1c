#include "ConsoleFixture.h"

#include "ComPort.h"
#include "LockScreen.h"
#include "UnlockCode.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Lock : public ConsoleFixture {
protected:
    bool Locked() const { return !Child<TLockScreen>("sPanel10")->isHidden(); }
    // The marker is reread within 20 ms of a change; a busy machine may delay that a little.
    bool BecomesLocked(bool locked) { return WaitFor([&] { return Locked() == locked; }, 250); }
    QString TodaysCode() const { return UnlockCode(QDate::currentDate(), QLocale::system()); }
    void TryCode(const QString& code)
    {
        Child<TLockScreen>("sPanel10")->sEdit1->setText(code);
        QTest::mouseClick(Child<TLockScreen>("sPanel10")->sButton6, Qt::LeftButton);
    }
    void ReplaceLine37InPlace(const QString& marker)
    {
        QStringList lines;
        ASSERT_TRUE(SettingsFile::Load(ConfigPath(), lines));
        while (lines.size() < 38)
            lines << QString();
        lines[37] = marker;
        QFile f(ConfigPath());   // as an editor that rewrites the file itself
        ASSERT_TRUE(f.open(QIODevice::ReadWrite | QIODevice::Truncate));
        f.write(SettingsFile::Compose(lines));
    }
};

TEST_F(Lock, OnlyTheExactMarkerUnlocksAtStart)
{
    const QString markers[] = {QStringLiteral("---------- "), QStringLiteral("-----------"),
                               QStringLiteral(" ---------"), QStringLiteral(""), QStringLiteral("---------")};
    for (const QString& marker : markers) {
        WriteConfig(marker);
        Start();
        EXPECT_TRUE(Locked()) << "marker '" << marker.toStdString() << "'";
        EXPECT_FALSE(Child<QWidget>("ClientArea")->isEnabled());
        form.reset();
    }
    WriteConfig(SettingsFile::kUnlockedMarker);
    Start();
    EXPECT_FALSE(Locked());
    EXPECT_TRUE(Child<QWidget>("ClientArea")->isEnabled());
}

TEST_F(Lock, FileWithoutMarkerStartsLockedAndTheRightCodeUnlocks)
{
    const QStringList named = ConfigLines(QString::fromStdString(pty.SlavePath()), nullptr);
    ASSERT_EQ(named.size(), 37);
    WriteConfig(named);
    Start();
    EXPECT_TRUE(line->Port().Connected());
    EXPECT_TRUE(Child<QTimer>("lockWatch")->isActive());
    EXPECT_TRUE(Locked());
    const QByteArray before = FileBytes(ConfigPath());

    // Wrong codes are ignored without a word and the field keeps them.
    const QString wrong[] = {TodaysCode() + " ", UnlockCode(QDate::currentDate().addDays(-1), QLocale::system()),
                             TodaysCode().toLower(), QString(), QStringLiteral("SELVOR-")};
    ModalAnswers closer({}, ModalAnswers::Otherwise::Accept);
    for (const QString& code : wrong) {
        TryCode(code);
        Spin(60);
        EXPECT_TRUE(Locked()) << code.toStdString();
        EXPECT_EQ(Child<TLockScreen>("sPanel10")->sEdit1->text(), code);
        EXPECT_EQ(FileBytes(ConfigPath()), before);
    }
    EXPECT_TRUE(closer.texts.isEmpty());
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());

    TryCode(TodaysCode());
    EXPECT_TRUE(BecomesLocked(false));
    EXPECT_TRUE(Child<QTimer>("lockWatch")->isActive());
    EXPECT_TRUE(Child<QWidget>("ClientArea")->isEnabled());
    QStringList saved;
    ASSERT_TRUE(SettingsFile::Load(ConfigPath(), saved));
    ASSERT_EQ(saved.size(), 38);
    EXPECT_EQ(saved.mid(0, 37), named);
    EXPECT_EQ(saved[37], "----------");
    EXPECT_TRUE(FileBytes(ConfigPath()).endsWith("----------\r\n"));
}

TEST_F(Lock, LockingWritesTheMarkerAndEmptiesTheCodeField)
{
    WriteConfig(SettingsFile::kUnlockedMarker);
    Start();
    ASSERT_FALSE(Locked());
    Child<TLockScreen>("sPanel10")->sEdit1->setText(QStringLiteral("half typed"));
    QTest::mouseClick(Child<QPushButton>("sButton3"), Qt::LeftButton);
    EXPECT_EQ(Child<TLockScreen>("sPanel10")->sEdit1->text(), QString());
    EXPECT_TRUE(BecomesLocked(true));
    EXPECT_TRUE(Child<QTimer>("lockWatch")->isActive());
    const QByteArray bytes = FileBytes(ConfigPath());
    EXPECT_EQ(bytes.count("\r\n"), 38);
    EXPECT_TRUE(bytes.endsWith("\r\n ---------\r\n"));
    QStringList saved;
    ASSERT_TRUE(SettingsFile::Load(ConfigPath(), saved));
    EXPECT_EQ(saved[1], QString::fromStdString(pty.SlavePath()));
    EXPECT_EQ(saved[21], "Wyjście 1");
}

TEST_F(Lock, OutsideEditsLockAndUnlockWithinATick)
{
    WriteConfig(SettingsFile::kUnlockedMarker);
    Start();
    ASSERT_FALSE(Locked());

    ReplaceLine37InPlace(SettingsFile::kLockedMarker);   // same size, same inode
    EXPECT_TRUE(BecomesLocked(true));
    ReplaceLine37InPlace(SettingsFile::kUnlockedMarker);
    EXPECT_TRUE(BecomesLocked(false));

    // An editor that writes a new file and renames it over the old one.
    QStringList lines;
    ASSERT_TRUE(SettingsFile::Load(ConfigPath(), lines));
    lines[37] = QStringLiteral("zablokowane");
    const QString temp = ConfigPath() + QStringLiteral(".new");
    SettingsFile::Save(temp, lines);
    ASSERT_EQ(std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(ConfigPath()).constData()), 0);
    EXPECT_TRUE(BecomesLocked(true));
    lines[37] = SettingsFile::kUnlockedMarker;
    SettingsFile::Save(ConfigPath(), lines);
    EXPECT_TRUE(BecomesLocked(false));

    // A writer that keeps the file open after writing is followed too.
    {
        lines[37] = QStringLiteral("w trakcie");
        QFile open(ConfigPath());
        ASSERT_TRUE(open.open(QIODevice::ReadWrite | QIODevice::Truncate));
        open.write(SettingsFile::Compose(lines));
        ASSERT_TRUE(open.flush());
        EXPECT_TRUE(BecomesLocked(true));
    }
    lines[37] = SettingsFile::kUnlockedMarker;
    SettingsFile::Save(ConfigPath(), lines);
    EXPECT_TRUE(BecomesLocked(false));

    // Deleting line 37 locks as well.
    SettingsFile::Save(ConfigPath(), lines.mid(0, 37));
    EXPECT_TRUE(BecomesLocked(true));

    // A file that is briefly gone changes nothing.
    lines[37] = SettingsFile::kUnlockedMarker;
    SettingsFile::Save(ConfigPath(), lines);
    ASSERT_TRUE(BecomesLocked(false));
    ASSERT_TRUE(QFile::remove(ConfigPath()));
    Spin(80);
    EXPECT_FALSE(Locked());
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
}

TEST_F(Lock, FailedSaveIsReportedAndLeavesTheWatchStopped)
{
    WriteConfig(SettingsFile::kUnlockedMarker);
    Start();
    ASSERT_TRUE(QFile::remove(ConfigPath()));
    ASSERT_TRUE(QDir().mkdir(ConfigPath()));   // nothing can be saved under that name now
    QTest::mouseClick(Child<QPushButton>("sButton3"), Qt::LeftButton);
    EXPECT_EQ(TestApplication::TakeReportedErrors().size(), 1);
    EXPECT_FALSE(Child<QTimer>("lockWatch")->isActive());
    EXPECT_FALSE(Locked());
}

TEST_F(Lock, NothingUnderTheLockScreenCanBeReached)
{
    WriteConfig(SettingsFile::kLockedMarker);
    StartPolling();   // the first request is left unanswered, so the cycle waits
    form->EndIntro();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(Locked());

    // Keyboard: Tab around, Space and Enter on whatever has the focus.
    QSet<QWidget*> focused;
    for (int i = 0; i < 12; ++i) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_TRUE(w);
        focused.insert(w);
        EXPECT_TRUE(Child<TLockScreen>("sPanel10")->isAncestorOf(w)) << w->objectName().toStdString();
        QTest::keyClick(w, Qt::Key_Space);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_TRUE(focused.contains(Child<TLockScreen>("sPanel10")->sEdit1));

    // Mouse: a click where the output button lies lands on the lock screen; a click sent to
    // the button itself is refused.
    QPushButton* a1 = form->OutputButton(1);
    const QPoint at = a1->mapTo(form.get(), a1->rect().center());
    QWidget* hit = form->childAt(at);
    ASSERT_TRUE(hit);
    EXPECT_TRUE(hit == Child<TLockScreen>("sPanel10") || Child<TLockScreen>("sPanel10")->isAncestorOf(hit));
    QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(form.get(), at));
    QTest::mouseClick(a1, Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>("sButton4"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>("sBitBtn1"), Qt::LeftButton);
    a1->click();
    a1->animateClick();

    // Assistive technology: the press action of a covered button does nothing either.
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(a1);
    ASSERT_TRUE(acc);
    EXPECT_TRUE(acc->state().disabled);
    if (QAccessibleActionInterface* act = acc->actionInterface())
        act->doAction(QAccessibleActionInterface::pressAction());

    EXPECT_EQ(DrainConsole(300), "");
    EXPECT_TRUE(Child<QFrame>("sPanel7")->isHidden());

    // Once unlocked, the same button works.
    TryCode(TodaysCode());
    ASSERT_TRUE(BecomesLocked(false));
    QTest::mouseClick(a1, Qt::LeftButton);
    EXPECT_EQ(ReadFromConsole(1, 500), "0");
}

}  // namespace
