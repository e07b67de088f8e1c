#pragma once
// Starts the controller simulator on its own pty for one test or measurement and stops it again.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <chrono>
#include <string>

class SimRunner {
public:
    // `simPath` is the simulator executable; link and log go into `workDir`.
    SimRunner(const QString& simPath, const QString& workDir)
        : sim_(simPath), link_(QDir(workDir).filePath(QStringLiteral("ttyCONTROLLER"))),
          log_(QDir(workDir).filePath(QStringLiteral("sim.log")))
    {
    }
    ~SimRunner() { Stop(); }

    // The simulator from the build directory the tests were given.
    static QString FromBuildDir()
    {
        const QString dir = qEnvironmentVariable("KONF_BUILD_DIR");
        return QDir(dir.isEmpty() ? QStringLiteral(".") : dir).filePath(QStringLiteral("selvora-sim"));
    }

    // Starts it and waits until its pty link exists; false with a reason in Error() otherwise.
    bool Start(const QStringList& extraArgs = {})
    {
        if (!QFileInfo(sim_).isExecutable()) {
            error_ = QStringLiteral("no simulator at ") + sim_;
            return false;
        }
        QStringList args{QStringLiteral("--link"), link_, QStringLiteral("--log"), log_};
        args += extraArgs;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(sim_, args);
        if (!process_.waitForStarted(5000)) {
            error_ = QStringLiteral("simulator did not start: ") + process_.errorString();
            return false;
        }
        for (int i = 0; i < 500; ++i) {
            if (QFileInfo::exists(link_))
                return true;
            if (process_.state() != QProcess::Running) {
                error_ = QStringLiteral("simulator ended early");
                return false;
            }
            QThread::msleep(10);
        }
        error_ = QStringLiteral("simulator published no pty link");
        return false;
    }

    void Stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    const QString& Link() const { return link_; }
    const QString& Log() const { return log_; }
    const QString& Error() const { return error_; }

private:
    QString sim_;
    QString link_;
    QString log_;
    QString error_;
    QProcess process_;
};
