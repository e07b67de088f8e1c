#pragma once
// One console started against one simulator on a private X server, shared by the checks of a
// test suite: the intro covers the window for its first 15 s, so each start is worth several.
#include "E2eHarness.h"

#include <gtest/gtest.h>

namespace e2e {

class ConsoleSession {
public:
    // Starts X, the simulator (with `simArgs`) and, when `settings` says so, config.ini and the
    // console. Reports what failed in `error`.
    enum class Settings { None, Locked, Unlocked };
    bool Start(const std::vector<std::string>& simArgs, Settings settings, QString* error);
    void Stop();

    // The main window, waiting for it up to `timeoutMs`; 0 when it is not shown.
    qulonglong MainWindow(int timeoutMs = 5000);
    // Waits until the intro has been hidden (15 s after the start).
    void WaitIntroOver();
    QImage GrabMain();
    Displays ReadMain();
    // Waits until the displays read `inputs` and `outputs` ("" = any); returns the last reading.
    Displays WaitDisplays(const std::string& inputs, const std::string& outputs, int timeoutMs);
    bool LockScreenShown();   // the legend samples are covered
    // Types the code and presses "Odblokuj"; true when the lock screen went away.
    bool Unlock(const QString& code);
    // Presses Return in the message box titled with the application's name, if one is open.
    bool DismissMessage(int timeoutMs);

    QTemporaryDir dir;
    XServer x;
    std::unique_ptr<SimulatorProcess> sim;
    Console console;
    int64_t startedUs = 0;

private:
    qulonglong main_ = 0;
    int shots_ = 0;
};

// The message boxes carry the application's name as their title.
inline const QString kMessageBoxName = QStringLiteral("^Konfigurator$");
inline const QString kMainWindowName = QStringLiteral("^Selvora - konfigurator");

}  // namespace e2e
