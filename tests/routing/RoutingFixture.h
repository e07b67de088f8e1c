#pragma once
// Test bench for the routing windows: a pty in place of the controller, the real port on its
// slave side, the controller session fed from the port, and a stand-in for the main window.
#include "ComPort.h"
#include "ControllerSession.h"
#include "RoutingMatrixWindow.h"
#include "RoutingTableView.h"
#include "PtyPair.h"
#include "TestApplication.h"
#include "WaitFor.h"
#include "WorkingFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>

class RoutingFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication::TakeReportedErrors();
        ASSERT_TRUE(folder_.IsValid());
    }

    void TearDown() override
    {
        delete matrix;
        delete view;
        matrix = nullptr;
        view = nullptr;
        if (port && port->Connected())
            port->SetConnected(false);
        session.reset();
        port.reset();
    }

    void WriteSettings(const QStringList& lines)
    {
        QFile f(folder_.FilePath(QStringLiteral("config.ini")));
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
        session = std::make_unique<TControllerSession>(
            [this](const std::string& bytes) { return port->WriteText(bytes); });
        link.OnRxBuf = [this](TCustomComPort*, const char* buf, int n) {
            for (int i = 0; i < n; ++i)
                session->HandleChar(buf[i]);
            received += std::string(buf, static_cast<size_t>(n));
        };
        port->AttachLink(&link);
        if (openPort)
            port->SetConnected(true);
        matrix = new RoutingMatrixWindow;
        view = new RoutingTableView;
        Bind();
        matrix->Pacing.afterStart = std::chrono::milliseconds(2);
        matrix->Pacing.afterCell = std::chrono::milliseconds(0);
        matrix->Pacing.margin = std::chrono::milliseconds(0);
    }

    // Wires the windows as the program does; closing the matrix window resumes polling.
    void Bind()
    {
        matrix->Bind(session.get(), view);
        if (view)
            view->Bind(session.get(), matrix);
        QObject::connect(matrix, &RoutingMatrixWindow::Closed, &mainWindow, [this] {
            mainWindow.show();
            session->Resume();
        });
    }
    bool ConfigDumpActive() const { return session->State().ConfigDumpActive; }

    static std::string Expected(int input = 0, int output = 0)
    {
        std::string s = "c" + std::string(256, '0');
        if (input)
            s[1 + 16 * (output - 1) + (input - 1)] = '1';
        return s;
    }

    TWorkingFolder folder_;
    PtyPair pty;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TControllerSession> session;
    TComLink link;
    std::string received;
    QWidget mainWindow;
    RoutingMatrixWindow* matrix = nullptr;
    RoutingTableView* view = nullptr;
};
