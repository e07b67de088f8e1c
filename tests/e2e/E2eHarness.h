#pragma once
// Runs the real console and the controller simulator on a private X server and drives the
// console as a user does: xdotool for clicks and keys, `import` for what the window shows, the
// simulator's log for what crossed the wire.
#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

// CLOCK_MONOTONIC in microseconds, the clock of the simulator's log.
int64_t NowUs();
void SleepMs(int ms);
// How often a wait looks at the screen, the simulator's log or another program.
constexpr int kPollMs = 20;

QString BuildDir();
// The X tools the tests drive the console with that are not installed (Xvfb, xdotool, import).
QStringList MissingTools();
QString Executable(const QString& name);   // in the build dir; empty when missing

// A private Xvfb display; the display number is picked by the server itself. No other test's
// server can take the number while this one holds it, and no test shares it: keys typed for one
// test would land in another's windows.
class XServer {
public:
    ~XServer();
    bool Start(QString* error);
    // Ends the server; prints Report() when the running test has failed or the server had ended
    // by itself.
    void Stop();
    bool Running() const;
    const QString& Display() const { return display_; }
    // The server's display, its state or how it ended, and what it wrote on stderr.
    QString Report();

    // Runs an X client (xdotool, import, ...) against this display; stdout is returned, and
    // stderr in `errors` when given.
    QByteArray Run(const QString& program, const QStringList& args, int* exitCode = nullptr,
                   int timeoutMs = 10000, QByteArray* errors = nullptr) const;

    // Visible top-level windows whose name matches the regular expression.
    std::vector<qulonglong> FindWindows(const QString& nameRegex) const;
    // The first visible window matching, waiting up to `timeoutMs`; 0 when none came.
    qulonglong WaitWindow(const QString& nameRegex, int timeoutMs) const;
    bool WaitNoWindow(const QString& nameRegex, int timeoutMs) const;
    QString WindowName(qulonglong id) const;
    QRect WindowGeometry(qulonglong id) const;

    // Input as a user gives it, through the XTEST extension.
    void Click(qulonglong window, int x, int y) const;   // window-relative
    void MoveMouse(qulonglong window, int x, int y) const;
    void Focus(qulonglong window) const;
    void Key(const QString& keys) const;     // xdotool key names, e.g. "Return", "F2", "ctrl+a"
    void Type(const QString& text) const;

    // What the window shows now.
    QImage Grab(qulonglong window) const;

private:
    QProcess server_;
    QString display_;
    QTemporaryDir logDir_;
    qint64 pid_ = 0;
    bool started_ = false;
    bool reported_ = false;
};

// The console, started in a working directory as a user starts it.
class Console {
public:
    ~Console();
    bool Start(const XServer& x, const QString& workDir, QString* error);
    void Kill();
    bool Running() const;
    // Waits for the program to end by itself; false when it is still running.
    bool WaitExit(int timeoutMs);
    int ExitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus ExitStatus() const { return process_.exitStatus(); }
    qint64 Pid() const { return process_.processId(); }
    long RssKb() const;   // VmRSS, -1 when not readable
    QString Output() const;   // what it wrote on stdout/stderr

private:
    QProcess process_;
    QString outPath_;
};

// config.ini with the given port; `unlocked` adds line 37 with the unlocked marker.
void WriteSettings(const QString& dir, const QString& port, bool unlocked);
QStringList ReadSettingsLines(const QString& dir);   // split at CR LF
QByteArray ReadFileBytes(const QString& path);

// The main window's controls at their places in the client area.
namespace layout {
constexpr int kInputsTop = 32, kRowPitch = 16;
inline QRect InputIndicator(int k) { return QRect(8, kInputsTop + (k - 1) * kRowPitch, 16, 16); }
inline QRect OutputIndicator(int j) { return QRect(187 + 192, kInputsTop + (j - 1) * kRowPitch, 16, 16); }
inline QRect LegendUnchecked() { return QRect(8, 306, 16, 16); }   // "oznacza podciągnięcie do plusa "
inline QRect LegendChecked() { return QRect(8, 342, 16, 16); }     // "oznacza stan niski na wejściu"
inline QRect LegendOn() { return QRect(187 + 8, 312, 16, 16); }    // "Oznacza załączony"
inline QPoint OutputButton(int j) { return QPoint(187 + 8 + 88, kInputsTop + (j - 1) * kRowPitch + 8); }
inline QPoint ConfigStart() { return QPoint(419 + 8 + 84, 28 + 13); }
inline QPoint LearningStart() { return QPoint(419 + 8 + 84, 67 + 28 + 13); }
inline QPoint ChangeMode() { return QPoint(419 + 8 + 84, 134 + 22 + 13); }
inline QPoint CloseProgram() { return QPoint(419 + 8 + 84, 134 + 86 + 13); }
inline QPoint LockProgram() { return QPoint(419 + 8 + 84, 134 + 118 + 13); }
inline QRect ModeCaption() { return QRect(419 + 4 + 3, 291 + 20 + 3, 177 - 6, 30 - 6); }
inline QPoint UnlockEdit() { return QPoint(48 + 8 + 170, 256 + 10 + 10); }
inline QPoint UnlockButton() { return QPoint(48 + 359 + 69, 256 + 8 + 12); }
inline QPoint TerminalClose() { return QPoint(8 + 296, 340 + 12); }
inline QRect Terminal() { return QRect(8, 24, 593 - 20, 313); }
}  // namespace layout

// A checked/unchecked reading of the state displays, compared with the legend samples.
struct Displays {
    bool valid = false;
    std::string inputs;    // 16 x '0'/'1', input 1 first
    std::string outputs;
};
Displays ReadDisplays(const QImage& window);
bool SameImage(const QImage& a, const QImage& b);
QImage Crop(const QImage& image, const QRect& r);
// Share of differing pixels, 0..1.
double Difference(const QImage& a, const QImage& b);

// The code that opens the lock screen under LC_ALL=C on the given day.
QString UnlockCodeFor(const class QDate& day);

}  // namespace e2e
