#pragma once
// Starts the main window in a temporary working directory with a given config.ini, talking to a
// pseudo-terminal that stands in for the controller.
#include "ComPort.h"
#include "ConsoleLine.h"
#include "MainWindow.h"
#include "PtyPair.h"
#include "PortKeeper.h"
#include "SettingsFile.h"
#include "TestApplication.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <poll.h>
#include <unistd.h>
#include <memory>

// Answers modal message boxes as a user would, remembering their texts.
class MessageBoxCloser : public QObject {
public:
    MessageBoxCloser()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.append(box->text());
                box->accept();
            }
        });
        timer_.start();
    }
    QStringList texts;

private:
    QTimer timer_;
};

class ConsoleFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        TestApplication::TakeReportedErrors();
    }
    void TearDown() override
    {
        form.reset();
        line.reset();
        QDir::setCurrent(oldCwd_);
    }

    // Names "Wejście k" / "Wyjście k", the port on the pty, and the given marker (none: 37 lines).
    static QStringList ConfigLines(const QString& port, const QString* marker)
    {
        QStringList lines{SettingsFile::kSeparator, port, SettingsFile::kSeparator};
        for (int k = 1; k <= 16; ++k)
            lines << QStringLiteral("Wejście %1").arg(k);
        lines << SettingsFile::kSeparator << SettingsFile::kSeparator;
        for (int k = 1; k <= 16; ++k)
            lines << QStringLiteral("Wyjście %1").arg(k);
        if (marker)
            lines << *marker;
        return lines;
    }
    void WriteConfig(const QStringList& lines) { SettingsFile::Save(ConfigPath(), lines); }
    void WriteConfig(const QString& marker)
    {
        WriteConfig(ConfigLines(QString::fromStdString(pty.SlavePath()), &marker));
    }
    QString ConfigPath() const { return dir_.filePath(QStringLiteral("config.ini")); }

    void Start()
    {
        form.reset();
        line = std::make_unique<TConsoleLine>();
        form = std::make_unique<MainWindow>(line->Port(), line->Session(), line->Keeper());
        form->OnTerminate = [this] { ++terminations; };
    }
    // Start, then let the first "x" of the polling cycle go out and take it off the line.
    void StartPolling()
    {
        Start();
        EXPECT_EQ(ReadFromConsole(1, 1000), "x") << TestApplication::TakeReportedErrors().join(" | ").toStdString();
    }

    // What the console has written to the line so far (up to `max` bytes), without waiting.
    std::string Available(size_t max)
    {
        std::string got;
        while (got.size() < max && pty.MasterFd() >= 0) {
            pollfd p{pty.MasterFd(), POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
                break;
            char buf[256];
            const ssize_t n = ::read(pty.MasterFd(), buf, std::min(sizeof buf, max - got.size()));
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    // What the console writes to the line, keeping the event loop going meanwhile.
    std::string ReadFromConsole(size_t count, int timeoutMs)
    {
        std::string got;
        WaitFor(
            [&] {
                got += Available(count - got.size());
                return got.size() >= count;
            },
            timeoutMs);
        return got;
    }
    std::string DrainConsole(int ms)
    {
        std::string got;
        WaitFor(
            [&] {
                got += Available(4096);
                return false;
            },
            ms);
        return got;
    }
    // Sends controller characters and lets them reach the window.
    void Reply(const std::string& bytes, int settleMs = 80)
    {
        pty.Write(bytes);
        Spin(settleMs);
    }

    PtyPair pty;
    std::unique_ptr<TConsoleLine> line;   // built as the program's entry does, before the window
    std::unique_ptr<MainWindow> form;
    int terminations = 0;

private:
    QTemporaryDir dir_;
    QString oldCwd_;
};
