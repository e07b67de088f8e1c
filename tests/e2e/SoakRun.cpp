#include "SoakRun.h"

#include "ConsoleSession.h"
#include "PtyRelay.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <random>

namespace e2e {

namespace {

// A controller's mode as the caption shows it, learned at the start.
struct ModeCaptions {
    QImage shown[3];
    int Which(const QImage& caption) const
    {
        for (int m = 0; m < 3; ++m)
            if (SameImage(shown[m], caption))
                return m;
        return -1;
    }
};

class Soak {
public:
    explicit Soak(const SoakOptions& o) : options_(o), rng_(o.seed) {}

    SoakReport Run();

private:
    bool StartSim(bool faults, QString* error);
    void Say(const QString& text)
    {
        if (options_.verbose)
            std::printf("[ soak     ] %6.1f s  %s\n", (NowUs() - t0_) / 1e6, qPrintable(text));
        std::fflush(stdout);
    }
    void Fail(const QString& why)
    {
        report_.failures << why;
        Say(QStringLiteral("FAILED: ") + why);
    }
    void CloseMessageBoxes()
    {
        while (!s_.x.FindWindows(kMessageBoxName).empty()) {
            if (!s_.DismissMessage(500))
                break;
            ++report_.messageBoxes;
        }
    }
    void SampleRss()
    {
        const long kb = s_.console.RssKb();
        if (kb > report_.rssMaxKb)
            report_.rssMaxKb = kb;
    }
    QImage Caption() { return Crop(s_.GrabMain(), layout::ModeCaption()); }
    bool LearnModeCaptions();
    void NoisyPeriod(int seconds);
    void QuietPeriod();

    SoakOptions options_;
    std::mt19937 rng_;
    ConsoleSession s_;
    std::unique_ptr<PtyRelay> relay_;
    ModeCaptions modes_;
    SoakReport report_;
    int simRuns_ = 0;
    int64_t t0_ = 0;
};

bool Soak::StartSim(bool faults, QString* error)
{
    if (s_.sim)
        s_.sim->Stop();
    // Each run logs into its own folder; all share the state file and the link.
    const QString runDir = s_.dir.filePath(QStringLiteral("sim%1").arg(++simRuns_));
    QDir().mkpath(runDir);
    s_.sim = std::make_unique<SimulatorProcess>(runDir.toStdString());
    std::vector<std::string> args{"--state", s_.dir.filePath(QStringLiteral("controller.state")).toStdString(),
                                  "--announce-mode"};
    if (faults) {
        args.insert(args.end(), {"--random-inputs", "40", "--drop-rate", "0.01", "--garbage-rate", "0.01",
                                 "--short-replies", "0.05", "--seed", std::to_string(rng_())});
    }
    // The simulator publishes its link inside its own folder; the relay follows one fixed path.
    const QString fixed = s_.dir.filePath(QStringLiteral("ttySIM"));
    if (!s_.sim->Start(args)) {
        *error = QString::fromStdString(s_.sim->Error());
        return false;
    }
    QFile::remove(fixed);
    return QFile::link(QString::fromStdString(s_.sim->LinkPath()), fixed);
}

bool Soak::LearnModeCaptions()
{
    // The mode button of the controller, three times round; the caption of each mode is kept.
    for (int round = 0; round < 3; ++round) {
        const QImage before = Caption();
        s_.sim->Command("mode");
        WaitFor([&] { return !SameImage(Caption(), before); }, 2000, kPollMs);
        SleepMs(100);
        const int m = s_.sim->Status().mode;
        if (m < 0 || m > 2)
            return false;
        modes_.shown[m] = Caption();
    }
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < a; ++b)
            if (modes_.shown[a].isNull() || SameImage(modes_.shown[a], modes_.shown[b]))
                return false;
    return true;
}

void Soak::NoisyPeriod(int seconds)
{
    QString error;
    if (!StartSim(true, &error)) {
        Fail(QStringLiteral("simulator with faults: ") + error);
        return;
    }
    Say(QStringLiteral("noisy period of %1 s").arg(seconds));
    const int64_t end = NowUs() + int64_t(seconds) * 1'000'000;
    std::uniform_int_distribution<int> output(1, 16);
    std::uniform_int_distribution<int> action(0, 9);
    while (NowUs() < end) {
        // Besides the simulator's own random inputs: the remote and the mode button.
        const int a = action(rng_);
        if (a < 5)
            s_.sim->Command("remote " + std::to_string(output(rng_)));
        else if (a == 5)
            s_.sim->Command("mode");
        // A user clicks an output button now and then.
        else if (a == 6 && s_.MainWindow(100)) {
            const QPoint button = layout::OutputButton(output(rng_));
            s_.x.Click(s_.MainWindow(), button.x(), button.y());
            s_.x.MoveMouse(s_.MainWindow(), 300, 362);
        }
        CloseMessageBoxes();
        SampleRss();
        if (!s_.console.Running())
            return;
        SleepMs(700);
    }
    // Did the console still poll at the end of the noise, or had a lost reply stopped it?
    const std::string rx = ByteString(Bytes(s_.sim->Log(), 'R', NowUs() - 2'000'000));
    if (rx.find('x') == std::string::npos && rx.find('q') == std::string::npos) {
        ++report_.stalledCycles;
        Say(QStringLiteral("the polling had stopped"));
    }
}

void Soak::QuietPeriod()
{
    QString error;
    if (!StartSim(false, &error)) {
        Fail(QStringLiteral("quiet simulator: ") + error);
        return;
    }
    ++report_.quietChecks;
    WaitFor([&] { return relay_->Attached() && s_.sim->Status().peer; }, 3000, kPollMs);
    CloseMessageBoxes();
    // A reply cut or lost in the noise stops the polling cycle until the controller speaks up
    // (an input switching an output sends '/'); the quiet controller does so once.
    s_.sim->Command("send 2f");
    const SimStatus st = s_.sim->Status();
    if (!st.valid) {
        Fail(QStringLiteral("no status from the simulator"));
        return;
    }
    Displays d;
    int shownMode = -1;
    const bool same = WaitFor(
        [&] {
            CloseMessageBoxes();
            d = s_.ReadMain();
            shownMode = modes_.Which(Caption());
            return d.valid && d.inputs == st.inputs && d.outputs == st.outputs && shownMode == st.mode;
        },
        4000, kPollMs);
    SampleRss();
    const long rss = s_.console.RssKb();
    if (report_.rssFirstKb == 0)
        report_.rssFirstKb = rss;
    report_.rssLastKb = rss;
    // From here on the cycle runs by itself.
    const int64_t matchedUs = NowUs();
    const bool polling = WaitFor(
        [&] {
            const std::string rx = ByteString(Bytes(s_.sim->Log(), 'R', matchedUs));
            return rx.find("xq") != std::string::npos && rx.find("qx") != std::string::npos;
        },
        2000, kPollMs);
    if (!polling)
        Fail(QStringLiteral("quiet period %1: the polling cycle does not run").arg(report_.quietChecks));
    if (same) {
        ++report_.quietMatched;
        Say(QStringLiteral("quiet: displays match (outputs %1, mode %2), RSS %3 kB")
                .arg(QString::fromStdString(st.outputs)).arg(st.mode).arg(rss));
    } else {
        // What crossed the line last, for the report.
        std::string tail;
        for (const SimLogRecord& r : s_.sim->Log()) {
            if (r.kind == 'R' || r.kind == 'T')
                tail += (r.kind == 'R' ? " >" : " <") + std::string(1, char(r.byte));
        }
        if (tail.size() > 160)
            tail = tail.substr(tail.size() - 160);
        Say(QStringLiteral("last bytes (> to, < from the controller):") + QString::fromStdString(tail));
        Say(QStringLiteral("visible windows: %1").arg(s_.x.FindWindows(QStringLiteral(".")).size()));
        Fail(QStringLiteral("quiet period %1: shown inputs %2 outputs %3 mode %4, controller inputs %5 outputs %6 mode %7")
                 .arg(report_.quietChecks)
                 .arg(QString::fromStdString(d.inputs), QString::fromStdString(d.outputs))
                 .arg(shownMode)
                 .arg(QString::fromStdString(st.inputs), QString::fromStdString(st.outputs))
                 .arg(st.mode));
    }
}

SoakReport Soak::Run()
{
    t0_ = NowUs();
    QString error;
    if (!s_.dir.isValid() || !s_.x.Start(&error)) {
        Fail(QStringLiteral("X server: ") + error);
        return report_;
    }
    if (qEnvironmentVariableIntValue("KONF_E2E_KEEP")) {
        s_.dir.setAutoRemove(false);
        Say(QStringLiteral("files kept in ") + s_.dir.path());
    }
    relay_ = std::make_unique<PtyRelay>(s_.dir.filePath(QStringLiteral("ttyCONSOLE")).toStdString(),
                                        s_.dir.filePath(QStringLiteral("ttySIM")).toStdString());
    std::string relayError;
    if (!relay_->Start(&relayError)) {
        Fail(QString::fromStdString(relayError));
        return report_;
    }
    if (!StartSim(false, &error)) {
        Fail(QStringLiteral("simulator: ") + error);
        return report_;
    }
    WriteSettings(s_.dir.path(), s_.dir.filePath(QStringLiteral("ttyCONSOLE")), true);
    s_.startedUs = NowUs();
    if (!s_.console.Start(s_.x, s_.dir.path(), &error) || !s_.MainWindow(10000)) {
        Fail(QStringLiteral("console: ") + error + s_.console.Output());
        return report_;
    }
    report_.started = true;
    s_.WaitIntroOver();
    s_.x.MoveMouse(s_.MainWindow(), 300, 362);
    if (!LearnModeCaptions())
        Fail(QStringLiteral("the mode captions cannot be told apart"));
    QuietPeriod();

    const int64_t end = NowUs() + int64_t(options_.minutes * 60e6);
    while (NowUs() + int64_t(options_.faultSeconds) * 1'000'000 < end && s_.console.Running()) {
        NoisyPeriod(options_.faultSeconds);
        if (!s_.console.Running())
            break;
        QuietPeriod();
    }

    if (!s_.console.Running()) {
        Fail(QStringLiteral("the console ended (exit status %1, code %2):\n%3")
                 .arg(int(s_.console.ExitStatus()))
                 .arg(s_.console.ExitCode())
                 .arg(s_.console.Output()));
    }
    // Memory must level off: allow for allocator and font caches, not for a leak.
#ifndef KONF_SANITIZED
    // Under AddressSanitizer freed memory is held in quarantine, so the resident size grows by
    // design there; the figure is still reported.
    if (report_.quietChecks >= 2 && report_.rssLastKb - report_.rssFirstKb > 4096)
        Fail(QStringLiteral("RSS grew from %1 kB to %2 kB").arg(report_.rssFirstKb).arg(report_.rssLastKb));
#endif
    // A failed run keeps its logs and pictures for a look afterwards.
    if (!report_.failures.isEmpty()) {
        s_.dir.setAutoRemove(false);
        report_.failures << QStringLiteral("logs kept in ") + s_.dir.path();
    }
    report_.bytesToConsole = relay_->BytesToConsole();
    report_.bytesToController = relay_->BytesToSim();
    report_.seconds = (NowUs() - t0_) / 1e6;
    s_.console.Kill();
    if (s_.sim)
        s_.sim->Stop();
    relay_->Stop();
    s_.x.Stop();
    return report_;
}

}  // namespace

QString SoakReport::Text() const
{
    return QStringLiteral(
               "soak: %1 s, %2 quiet periods, %3 matched; %4 noisy periods ended with the polling stopped; %5 message "
               "boxes closed; RSS %6 kB at the first quiet check, %7 kB at the last, %8 kB at most; "
               "%9 bytes to the console, %10 to the controller; %11")
        .arg(seconds, 0, 'f', 1)
        .arg(quietChecks)
        .arg(quietMatched)
        .arg(stalledCycles)
        .arg(messageBoxes)
        .arg(rssFirstKb)
        .arg(rssLastKb)
        .arg(rssMaxKb)
        .arg(bytesToConsole)
        .arg(bytesToController)
        .arg(failures.isEmpty() ? QStringLiteral("no failures")
                                : QStringLiteral("FAILURES:\n  ") + failures.join(QStringLiteral("\n  ")));
}

SoakReport RunSoak(const SoakOptions& options)
{
    Soak soak(options);
    return soak.Run();
}

}  // namespace e2e
