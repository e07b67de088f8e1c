#pragma once
// Starts the main window in a temporary working directory with a given config.ini, talking to a
// pseudo-terminal that stands in for the controller.
#include "ComPort.h"
#include "ConfigFile.h"
#include "ConsoleLine.h"
#include "FindChild.h"
#include "ModalAnswers.h"
#include "ComTerminal.h"
#include "IntroLayer.h"
#include "LockScreen.h"
#include "MainWindow.h"
#include "PtyPair.h"
#include "PortKeeper.h"
#include "SettingsFile.h"
#include "TestApplication.h"
#include "WaitFor.h"
#include "WorkingFolder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QMessageBox>
#include <QPushButton>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <poll.h>
#include <unistd.h>
#include <memory>

class ConsoleFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.IsValid());
        TestApplication::TakeReportedErrors();
    }
    void TearDown() override
    {
        form.reset();
        line.reset();
    }

    // Names "Wejście k" / "Wyjście k", the port on the pty, and the given marker (none: 37 lines).
    static QStringList ConfigLines(const QString& port, const QString* marker)
    {
        TConfigFile config;
        config.port = port;
        config.marker = marker ? std::optional<QString>(*marker) : std::nullopt;
        return config.Lines();
    }
    void WriteConfig(const QStringList& lines) { SettingsFile::Save(ConfigPath(), lines); }
    void WriteConfig(const QString& marker)
    {
        WriteConfig(ConfigLines(QString::fromStdString(pty.SlavePath()), &marker));
    }
    QString ConfigPath() const { return folder_.FilePath(SettingsFile::kFileName); }

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

    // A control of the main window by its object name.
    template <class T>
    T* Child(const char* name) const
    {
        return FindChild<T>(form.get(), QLatin1String(name));
    }

    PtyPair pty;
    std::unique_ptr<TConsoleLine> line;   // built as the program's entry does, before the window
    std::unique_ptr<MainWindow> form;
    int terminations = 0;

private:
    TWorkingFolder folder_;
};
