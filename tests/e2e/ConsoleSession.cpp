#include "ConsoleSession.h"

#include <QDate>

#include <cstdio>

namespace e2e {

bool ConsoleSession::Start(const std::vector<std::string>& simArgs, Settings settings, QString* error)
{
    if (!dir.isValid()) {
        *error = QStringLiteral("no temporary directory");
        return false;
    }
    // KONF_E2E_KEEP=1 keeps the logs, settings and pictures of a run for a look afterwards.
    if (qEnvironmentVariableIntValue("KONF_E2E_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("[ e2e      ] files kept in %s\n", qPrintable(dir.path()));
    }
    if (!x.Start(error))
        return false;
    sim = std::make_unique<SimulatorProcess>(dir.path().toStdString());
    if (!sim->Start(simArgs)) {
        *error = QString::fromStdString(sim->Error());
        return false;
    }
    if (settings != Settings::None)
        WriteSettings(dir.path(), QString::fromStdString(sim->LinkPath()), settings == Settings::Unlocked);
    startedUs = NowUs();
    return console.Start(x, dir.path(), error);
}

void ConsoleSession::Stop()
{
    console.Kill();
    if (sim)
        sim->Stop();
    x.Stop();
}

qulonglong ConsoleSession::MainWindow(int timeoutMs)
{
    if (main_ && !x.FindWindows(kMainWindowName).empty())
        return main_;
    main_ = x.WaitWindow(kMainWindowName, timeoutMs);
    return main_;
}

void ConsoleSession::WaitIntroOver()
{
    const int64_t over = startedUs + 15'600'000;
    const int64_t now = NowUs();
    if (now < over)
        SleepMs(int((over - now) / 1000));
}

QImage ConsoleSession::GrabMain()
{
    const qulonglong w = MainWindow();
    QImage shot = w ? x.Grab(w) : QImage();
    if (!dir.autoRemove())
        shot.save(dir.filePath(QStringLiteral("main-%1.png").arg(++shots_, 4, 10, QLatin1Char('0'))));
    return shot;
}

Displays ConsoleSession::ReadMain()
{
    return ReadDisplays(GrabMain());
}

Displays ConsoleSession::WaitDisplays(const std::string& inputs, const std::string& outputs,
                                      int timeoutMs)
{
    Displays last;
    WaitFor(
        [&] {
            last = ReadMain();
            return last.valid && (inputs.empty() || last.inputs == inputs)
                && (outputs.empty() || last.outputs == outputs);
        },
        timeoutMs, kPollMs);
    return last;
}

bool ConsoleSession::LockScreenShown()
{
    const QImage shot = GrabMain();
    if (shot.isNull())
        return false;
    return !ReadDisplays(shot).valid;
}

bool ConsoleSession::Unlock(const QString& code)
{
    const qulonglong w = MainWindow();
    x.Click(w, layout::UnlockEdit().x(), layout::UnlockEdit().y());
    x.Key(QStringLiteral("ctrl+a"));
    x.Key(QStringLiteral("BackSpace"));
    x.Type(code);
    x.Click(w, layout::UnlockButton().x(), layout::UnlockButton().y());
    return WaitFor([&] { return !LockScreenShown(); }, 2000, kPollMs);
}

bool ConsoleSession::DismissMessage(int timeoutMs)
{
    const qulonglong box = x.WaitWindow(kMessageBoxName, timeoutMs);
    if (!box)
        return false;
    if (!dir.autoRemove())
        x.Grab(box).save(dir.filePath(QStringLiteral("box-%1.png").arg(++shots_, 4, 10, QLatin1Char('0'))));
    x.Focus(box);
    x.Key(QStringLiteral("Return"));
    return x.WaitNoWindow(kMessageBoxName, 3000);
}

}  // namespace e2e
