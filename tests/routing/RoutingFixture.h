#pragma once
// Test bench for the routing windows: a pty in place of the controller, the real port on its
// slave side, the console's parser fed from the port, and stand-ins for the main window.
#include "ComPort.h"
#include "Form2.h"
#include "Form3.h"
#include "MessageParser.h"
#include "PtyPair.h"
#include "ReceiveState.h"
#include "TestApplication.h"
#include "WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>

// Only the dump lines matter here; the rest of the parser's effects belong to the main window.
class DumpLinesToView : public IParserEffects {
public:
    TForm3* view = nullptr;
    void ClearTerminal() override {}
    void AppendDumpLine(const QString& line) override { view->AppendDumpLine(line); }
    void RequestOutputStates() override {}
    void ShowSavingFinished() override {}
    void StartTimer6() override {}
    void StartTimer7() override {}
    void SetInputState(int, bool) override {}
    void SetOutputState(int, bool) override {}
    void SetModeCaption(const QString&) override {}
};

class RoutingFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetReceiveState();
        TestApplication::TakeReportedErrors();
        ASSERT_TRUE(dir_.isValid());
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }

    void TearDown() override
    {
        delete form2;
        delete form3;
        form2 = nullptr;
        form3 = nullptr;
        if (port && port->Connected())
            port->SetConnected(false);
        port.reset();
        QDir::setCurrent(oldDir_);
        ResetReceiveState();
    }

    void WriteSettings(const QStringList& lines)
    {
        QFile f(dir_.filePath(QStringLiteral("config.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const QString& line : lines)
            f.write(line.toUtf8() + "\r\n");
    }

    // Creates the windows as the program does and wires them to a port on the pty.
    // `portPath` defaults to the pty's slave.
    void Build(bool openPort = true, const QString& portPath = QString())
    {
        port = std::make_unique<TComPort>();
        port->SetPort(portPath.isEmpty() ? QString::fromStdString(pty.SlavePath()) : portPath);
        link.OnRxBuf = [this](TCustomComPort*, const char* buf, int n) {
            for (int i = 0; i < n; ++i)
                parser.HandleChar(buf[i]);
            received += std::string(buf, static_cast<size_t>(n));
        };
        port->AttachLink(&link);
        if (openPort)
            port->SetConnected(true);
        timer6.setSingleShot(true);
        timer6.setInterval(200);
        form2 = new TForm2;
        form3 = new TForm3;
        effects.view = form3;
        form2->Bind(port.get(), &mainWindow, &timer6, form3);
        form3->Bind(port.get(), form2);
        form2->Pacing.afterStart = std::chrono::milliseconds(2);
        form2->Pacing.afterCell = std::chrono::milliseconds(0);
    }

    static std::string Expected(int input = 0, int output = 0)
    {
        std::string s = "c" + std::string(256, '0');
        if (input)
            s[1 + 16 * (output - 1) + (input - 1)] = '1';
        return s;
    }

    QTemporaryDir dir_;
    QString oldDir_;
    PtyPair pty;
    std::unique_ptr<TComPort> port;
    TComLink link;
    DumpLinesToView effects;
    TMessageParser parser{effects};
    std::string received;
    QWidget mainWindow;
    QTimer timer6;
    TForm2* form2 = nullptr;
    TForm3* form3 = nullptr;
};
