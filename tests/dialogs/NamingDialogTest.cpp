#include "NamingDialog.h"
#include "FindChild.h"

#include "SettingsFile.h"
#include "ModalAnswers.h"
#include "TestApplication.h"
#include "WorkingFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <QtTest/QTest>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// Answers every message box that opens, noting its text and whether config.ini existed then.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(QStringList* log) : answers_({}, ModalAnswers::Otherwise::Accept)
    {
        answers_.seen = [log](QMessageBox* box) {
            log->append(QStringLiteral("message:") + box->text());
            if (QFile::exists(SettingsFile::kFileName))
                log->append(QStringLiteral("file present"));
        };
    }

private:
    ModalAnswers answers_;
};

// Makes every file write of this process beyond a few bytes fail (EFBIG), even as root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

class NamingDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.IsValid());
        TestApplication::TakeReportedErrors();
        form_.OnTerminate = [this] { log_.append(QStringLiteral("terminate")); };
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }
    void TearDown() override
    {
        form_.hide();
    }

    QByteArray FileBytes() const
    {
        QFile f(SettingsFile::kFileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList FileLines() const
    {
        QStringList lines;
        SettingsFile::Load(SettingsFile::kFileName, lines);
        return lines;
    }
    static void WriteFile(const QByteArray& bytes)
    {
        QFile f(SettingsFile::kFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void ClickSave() { QTest::mouseClick(FindChild<QPushButton>(&form_, QStringLiteral("sButton1")), Qt::LeftButton); }

    TWorkingFolder folder_;
    QStringList log_;
    NamingDialog form_;
};

TEST_F(NamingDialogTest, SavingTheDefaultsWritesTheExactFileThenAsksForARestartAndEnds)
{
    // A file from an earlier run is replaced, not merged.
    WriteFile(QByteArray(5000, 'x'));
    EXPECT_EQ(form_.windowTitle(), QStringLiteral("Nadaj nazwy ..."));
    EXPECT_EQ(FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1"))->text(), QStringLiteral("COM1"));

    MessageBoxWatcher watcher(&log_);
    ClickSave();

    QByteArray expected = "----------\r\nCOM1\r\n----------\r\n";
    for (int i = 1; i <= 16; ++i)
        expected += QByteArray::number(i) + " wej\x9c" "cie\r\n";   // 'ś' in Windows-1250
    expected += "----------\r\n----------\r\n";
    for (int i = 1; i <= 16; ++i)
        expected += QByteArray::number(i) + " urz\xb9" "dzenie\r\n";   // 'ą'
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(FileBytes().count("\r\n"), 37);

    EXPECT_EQ(log_, (QStringList{QStringLiteral("message:Uruchom ponownie program !"),
                                 QStringLiteral("file present"), QStringLiteral("terminate")}));
    EXPECT_TRUE(TestApplication::TakeReportedErrors().isEmpty());
    EXPECT_EQ(QDir(folder_.Path()).entryList(QDir::Files), QStringList{SettingsFile::kFileName});
}

TEST_F(NamingDialogTest, TypedNamesAreWrittenAsTypedWithTheirLineCount)
{
    MessageBoxWatcher watcher(&log_);

    // Seventeen inputs, the last one followed by a line break; a non-breaking space and a
    // leading blank kept; an empty line at the end of the outputs.
    QString inputs;
    for (int i = 1; i <= 17; ++i)
        inputs += QStringLiteral("we %1\n").arg(i);
    FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo1"))->setPlainText(inputs);
    QTextCursor cursor(FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo1"))->document());
    cursor.insertText(QStringLiteral(" Kuchnia\u00a0"));
    FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo2"))->setPlainText(QStringLiteral("lampa\n\n"));
    FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1"))->setText(QStringLiteral("COM7"));
    ClickSave();

    const QStringList lines = FileLines();
    ASSERT_EQ(lines.size(), 24);
    EXPECT_EQ(lines[1], QStringLiteral("COM7"));
    EXPECT_EQ(lines[3], QStringLiteral(" Kuchnia\u00a0we 1"));
    EXPECT_EQ(lines[19], QStringLiteral("we 17"));
    EXPECT_EQ(lines[20], QStringLiteral("----------"));
    EXPECT_EQ(lines[21], QStringLiteral("----------"));
    EXPECT_EQ(lines[22], QStringLiteral("lampa"));
    EXPECT_EQ(lines[23], QString());
    EXPECT_TRUE(log_.contains(QStringLiteral("terminate")));
}

TEST_F(NamingDialogTest, FailedWriteKeepsTheOldFileAndTheDialogAndShowsNoRestartMessage)
{
    const QByteArray old = "----------\r\nCOM4\r\n----------\r\nstare\r\n";
    WriteFile(old);
    MessageBoxWatcher watcher(&log_);
    FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo1"))->setPlainText(QStringLiteral("nowe"));
    {
        FileSizeLimit limit(16);
        ClickSave();
        QTest::qWait(50);   // give a wrongly shown message box the chance to appear
    }
    const QStringList errors = TestApplication::TakeReportedErrors();
    ASSERT_EQ(errors.size(), 1) << "file now: " << FileBytes().toStdString();
    EXPECT_TRUE(errors[0].contains(SettingsFile::kFileName)) << errors[0].toStdString();
    EXPECT_EQ(FileBytes(), old);
    EXPECT_TRUE(log_.isEmpty()) << log_.join(' ').toStdString();
    EXPECT_TRUE(form_.isVisible());
    EXPECT_EQ(FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo1"))->toPlainText(), QStringLiteral("nowe"));
    // No half-written temporary file is left beside it.
    EXPECT_EQ(QDir(folder_.Path()).entryList(QDir::Files), QStringList{SettingsFile::kFileName});

    // Once writing works again the same dialog saves normally.
    ClickSave();
    EXPECT_EQ(FileLines().value(3), QStringLiteral("nowe"));
    EXPECT_TRUE(log_.contains(QStringLiteral("terminate")));
}

TEST_F(NamingDialogTest, ClosingWritesNothingAndKeepsTheTypedTextForTheRun)
{
    // The dialog never loads names from an existing file.
    WriteFile("----------\r\nCOM9\r\n----------\r\nzapisana\r\n");
    EXPECT_EQ(FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo1"))->toPlainText().section('\n', 0, 0), QStringLiteral("1 wejście"));
    EXPECT_EQ(FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1"))->text(), QStringLiteral("COM1"));
    const QByteArray before = FileBytes();

    FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1"))->selectAll();
    QTest::keyClicks(FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1")), QStringLiteral("COM5"));
    // Enter in the port field does not save.
    QTest::keyClick(FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1")), Qt::Key_Return);
    EXPECT_TRUE(form_.isVisible());
    FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo2"))->setPlainText(QStringLiteral("brama"));
    form_.close();
    EXPECT_FALSE(form_.isVisible());

    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    EXPECT_EQ(FindChild<QLineEdit>(&form_, QStringLiteral("sEdit1"))->text(), QStringLiteral("COM5"));
    EXPECT_EQ(FindChild<QPlainTextEdit>(&form_, QStringLiteral("Memo2"))->toPlainText(), QStringLiteral("brama"));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_TRUE(log_.isEmpty());
}

}  // namespace
