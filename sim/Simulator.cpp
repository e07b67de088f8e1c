#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr size_t kTxBacklog = 4096;          // stop taking commands while this much waits
constexpr size_t kMaxControlLine = 4096;
constexpr int64_t kPeerCheckUs = 10000;      // how often a missing console is looked for
constexpr int64_t kDeviceRetryUs = 500000;
constexpr int64_t kQuitDrainUs = 5000000;    // how long "quit" lets queued bytes go out
constexpr int64_t kQuitLingerUs = 200000;
constexpr size_t kMaxScriptBytes = 1 << 20;

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

int64_t NowNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t NowUs()
{
    return NowNs() / 1000;
}

uint64_t SeedFrom(const Options& o)
{
    return o.seedGiven ? o.seed : static_cast<uint64_t>(NowNs()) ^ (static_cast<uint64_t>(::getpid()) << 32);
}

ControllerTiming TimingFrom(const Options& o)
{
    ControllerTiming t;
    t.saveDelayUs = o.saveMs * 1000;
    t.writeTimeoutUs = o.writeTimeoutMs * 1000;
    t.learningStepUs = o.learningStepMs * 1000;
    return t;
}

std::string Bits(const std::string& reply, size_t n)
{
    return reply.substr(0, n);
}

}  // namespace

Simulator::Simulator(const Options& options)
    : options_(options),
      controller_(TimingFrom(options)),
      faults_(options.faults, SeedFrom(options)),
      randomInputs_(options.randomInputsPerMinute, SeedFrom(options) + 1, NowUs()),
      pacer_(options.pacing)
{
}

Simulator::~Simulator()
{
    if (line_)
        line_->Close();
}

int Simulator::Run()
{
    std::string error;
    if (!Start(error)) {
        std::fprintf(stderr, "selvora-sim: %s\n", error.c_str());
        return 1;
    }
    Loop();
    Event(NowUs(), g_stop ? "stopped by signal" : "quit");
    line_->Close();
    return 0;
}

bool Simulator::Start(std::string& error)
{
    // Signals only interrupt the wait in ppoll(), so no command is cut in half.
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of an interactive shell, reading the terminal must fail (EIO
    // ends the control channel) rather than stop the simulator.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &block, nullptr);
    // Byte pacing needs timers that fire when asked, not up to 50 us later.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::string scheduling = "normal scheduling";
    if (options_.realtime) {
        // On a busy machine an ordinary process misses its byte times by milliseconds. The loop
        // always sleeps between bytes, and the kernel's real-time throttling bounds it anyway.
        sched_param param{};
        param.sched_priority = 1;
        if (::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0)
            scheduling = "real-time scheduling";
        else if (::setpriority(PRIO_PROCESS, 0, -10) == 0)
            scheduling = "raised priority (no real-time scheduling)";
    }

    if (!options_.logFile.empty() && !log_.Open(options_.logFile, error))
        return false;

    if (!options_.stateFile.empty()) {
        state_ = std::make_unique<StateStore>(options_.stateFile);
        std::string why;
        if (!state_->Load(controller_.Model(), why)) {
            std::fprintf(stderr, "selvora-sim: ignoring state: %s\n", why.c_str());
            Event(NowUs(), "state not loaded: " + why);
        }
    }

    if (!options_.scriptFile.empty()) {
        std::ifstream in(options_.scriptFile, std::ios::binary);
        if (!in) {
            error = options_.scriptFile + ": " + std::strerror(errno);
            return false;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string text = ss.str();
        if (text.size() > kMaxScriptBytes) {
            error = options_.scriptFile + ": script too large";
            return false;
        }
        std::istringstream lines(text);
        std::string line;
        int number = 0;
        while (std::getline(lines, line)) {
            ++number;
            ControlCommand cmd;
            std::string why;
            if (!ParseControlLine(line, cmd, why)) {
                error = options_.scriptFile + ":" + std::to_string(number) + ": " + why;
                return false;
            }
            if (!scriptCommands_.Push(cmd)) {
                error = options_.scriptFile + ": too many commands";
                return false;
            }
        }
        scriptRunning_ = true;
    }

    line_ = options_.device.empty() ? MakePtyEndpoint(options_.link) : MakeDeviceEndpoint(options_.device);
    if (!line_->Open(error))
        return false;
    std::printf("selvora-sim: %s\n", line_->Description().c_str());
    std::fflush(stdout);
    Event(NowUs(), "line open " + line_->Description());
    Event(NowUs(), scheduling);
    return true;
}

void Simulator::Loop()
{
    while (!g_stop) {
        int64_t now = NowUs();
        ServiceLine(now);
        if (!Busy())
            RunControl(now);
        controller_.Tick(now);
        Collect(now);
        WriteDue();

        if (scriptRunning_ && scriptCommands_.Idle(now)) {
            scriptRunning_ = false;
            Event(now, "end of script");
            if (!quitting_) {
                quitting_ = true;
                quitDeadlineUs_ = now + kQuitDrainUs;
            }
        }
        // The last bytes need a moment to be read: closing the master discards what the
        // console has not read yet.
        const bool drained = tx_.empty() && (!peerPresent_ || now - lastTxUs_ >= kQuitLingerUs);
        if (quitting_ && (drained || now >= quitDeadlineUs_))
            break;

        std::vector<pollfd> fds;
        const int lineFd = line_->Fd();
        // Once quitting, new commands would only keep the line busy.
        const bool readLine = lineFd >= 0 && peerPresent_ && !Busy() && !quitting_;
        if (readLine)
            fds.push_back({lineFd, POLLIN, 0});
        const bool readStdin = stdinOpen_ && !quitting_;
        if (readStdin)
            fds.push_back({STDIN_FILENO, POLLIN, 0});

        const int64_t nowNs = NowNs();
        const int64_t waitNs = WaitNs(nowNs);
        timespec ts{static_cast<time_t>(waitNs / 1000000000), static_cast<long>(waitNs % 1000000000)};
        sigset_t none;
        sigemptyset(&none);
        const int r = ::ppoll(fds.data(), fds.size(), &ts, &none);
        if (r <= 0)
            continue;
        size_t i = 0;
        if (readLine) {
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                ReadLine();
            ++i;
        }
        if (readStdin && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadStdin();
    }
}

bool Simulator::Busy() const
{
    return tx_.size() > kTxBacklog;
}

int64_t Simulator::WaitNs(int64_t nowNs) const
{
    const int64_t nowUs = nowNs / 1000;
    int64_t until = nowNs + 1000000000;   // wake at least once a second
    auto considerUs = [&](std::optional<int64_t> us) {
        if (us)
            until = std::min(until, *us * 1000);
    };
    if (!tx_.empty() && line_->Fd() >= 0)
        until = std::min(until, std::max(pacer_.NextNs(), holdUntilNs_));
    considerUs(controller_.NextDeadline());
    if (!Busy()) {
        considerUs(stdinCommands_.Deadline());
        considerUs(scriptCommands_.Deadline());
        considerUs(randomInputs_.Deadline());
    }
    considerUs(reopenAtUs_);
    if (line_->Fd() >= 0 && !peerPresent_)
        considerUs(nowUs + kPeerCheckUs);
    if (quitting_) {
        considerUs(quitDeadlineUs_);
        if (tx_.empty() && lastTxUs_ + kQuitLingerUs > nowUs)
            considerUs(lastTxUs_ + kQuitLingerUs);
    }
    return std::max<int64_t>(0, until - nowNs);
}

void Simulator::ServiceLine(int64_t now)
{
    if (reopenAtUs_ && now >= *reopenAtUs_)
        ReopenLine(now);
    if (line_->Fd() < 0)
        return;
    const bool present = line_->PeerPresent();
    if (present != peerPresent_)
        PeerChanged(present, now);
    // A console that wrote and closed between two looks left its bytes behind: they are
    // served now (to nobody), not handed to the next console as if it had sent them.
    for (int i = 0; !peerPresent_ && line_->Fd() >= 0 && i < 16 && ReadLine(); ++i) {
    }
}

void Simulator::PeerChanged(bool present, int64_t now)
{
    peerPresent_ = present;
    if (present) {
        Event(now, "peer opened");
        if (options_.announceMode) {
            controller_.Inject(std::string(1, ModeChar(controller_.Model().GetMode())));
        }
        return;
    }
    // Whatever still waited for the old listener is lost with it, as on a real line.
    if (!tx_.empty())
        Event(now, "peer closed with " + std::to_string(tx_.size()) + " bytes unsent");
    else
        Event(now, "peer closed");
    tx_.clear();
    pacer_.Idle();
    controller_.PeerClosed(now);
}

bool Simulator::ReadLine()
{
    const int fd = line_->Fd();
    // Small reads keep the reply backlog near its limit: a read of "C"s adds 256 bytes each.
    unsigned char buf[32];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    const int64_t now = NowUs();
    if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            log_.Byte(now, "RX", buf[i]);
            controller_.Receive(buf[i], now);
        }
        Collect(now);
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return false;
    // A pty reports the console's close this way; a device that fails is gone.
    if (!line_->PeerPresent()) {
        if (peerPresent_)
            PeerChanged(false, now);
    } else if (!options_.device.empty()) {
        LineLost(now);
    }
    return false;
}

void Simulator::LineLost(int64_t now)
{
    Event(now, "line lost: " + line_->Description());
    line_->Close();
    if (peerPresent_)
        PeerChanged(false, now);
    reopenAtUs_ = now + kDeviceRetryUs;
}

void Simulator::Hangup(int64_t ms, int64_t now)
{
    Event(now, "hangup for " + std::to_string(ms) + " ms");
    if (peerPresent_)
        PeerChanged(false, now);
    tx_.clear();
    line_->Close();
    reopenAtUs_ = now + ms * 1000;
}

void Simulator::ReopenLine(int64_t now)
{
    reopenAtUs_.reset();
    std::string error;
    if (!line_->Open(error)) {
        Event(now, "reopen failed: " + error);
        reopenAtUs_ = now + kDeviceRetryUs;
        return;
    }
    std::printf("selvora-sim: %s\n", line_->Description().c_str());
    std::fflush(stdout);
    Event(now, "line open " + line_->Description());
}

void Simulator::RunControl(int64_t now)
{
    // Commands from standard input and the script interleave; each source keeps its own waits.
    while (!Busy() && !quitting_) {
        std::optional<ControlCommand> cmd = stdinCommands_.Next(now);
        if (!cmd)
            cmd = scriptCommands_.Next(now);
        if (!cmd)
            break;
        Execute(*cmd, now);
        Collect(now);
    }
    while (!Busy()) {
        const int k = randomInputs_.Next(now);
        if (k == 0)
            break;
        Event(now, "random input " + std::to_string(k));
        controller_.SetInput(k, !controller_.Model().Input(k), now);
        Collect(now);
    }
}

void Simulator::Execute(const ControlCommand& cmd, int64_t now)
{
    Event(now, "control " + cmd.text);
    using K = ControlCommand::Kind;
    switch (cmd.kind) {
    case K::Input:
        controller_.SetInput(cmd.channel, cmd.on, now);
        break;
    case K::Mode:
        controller_.PressModeButton(now);
        break;
    case K::Silent:
        controller_.SetSilent(cmd.on);
        break;
    case K::Hangup:
        Hangup(cmd.ms, now);
        break;
    case K::Quit:
        quitting_ = true;
        quitDeadlineUs_ = now + kQuitDrainUs;
        break;
    case K::Reset:
        controller_.PressReset(now);
        break;
    case K::Remote:
        controller_.RemoteToggle(cmd.channel, now);
        break;
    case K::Send:
        controller_.Inject(cmd.bytes);
        break;
    case K::Status:
        PrintStatus();
        break;
    case K::Nothing:
    case K::Wait:
    case K::Press:
        break;
    }
}

void Simulator::PrintStatus()
{
    const ControllerModel& m = controller_.Model();
    const char* learning = controller_.LearningRunning() ? "running"
        : controller_.AwaitingReset()                     ? "waiting-reset"
                                                          : "idle";
    std::printf("status mode=%d inputs=%s outputs=%s routing=%s learning=%s silent=%s peer=%s\n",
        static_cast<int>(m.GetMode()), m.InputReply().c_str(), Bits(m.OutputReply(), 16).c_str(),
        m.RoutingInWriteOrder().c_str(), learning, controller_.Silent() ? "on" : "off",
        peerPresent_ ? "yes" : "no");
    std::fflush(stdout);
}

void Simulator::Collect(int64_t now)
{
    std::vector<std::string> faultEvents;
    for (const Emission& e : controller_.TakeEmissions()) {
        const std::string bytes = faults_.Active() ? faults_.Apply(e, faultEvents) : e.bytes;
        if (!peerPresent_) {
            faultEvents.push_back("nobody listening: " + std::to_string(bytes.size()) + " bytes not sent");
            continue;
        }
        // A late controller: a reply on an idle line starts only after the delay.
        if (e.kind == EmissionKind::StateReply && tx_.empty() && options_.replyDelayMs > 0)
            holdUntilNs_ = NowNs() + options_.replyDelayMs * 1000000;
        tx_.insert(tx_.end(), bytes.begin(), bytes.end());
    }
    for (const std::string& ev : controller_.TakeEvents())
        Event(now, ev);
    for (const std::string& ev : faultEvents)
        Event(now, ev);
    if (state_ && controller_.TakeStateChanged()) {
        std::string error;
        if (!state_->Save(controller_.Model(), error)) {
            std::fprintf(stderr, "selvora-sim: state not saved: %s\n", error.c_str());
            Event(now, "state not saved: " + error);
        }
    }
}

void Simulator::WriteDue()
{
    const int fd = line_->Fd();
    if (fd < 0 || tx_.empty() || NowNs() < holdUntilNs_)
        return;
    size_t lost = 0;
    while (!tx_.empty()) {
        const int64_t nowNs = NowNs();
        if (!pacer_.Due(nowNs))
            break;
        const char c = tx_.front();
        const ssize_t n = ::write(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        tx_.pop_front();
        if (n == 1) {
            pacer_.Sent(nowNs);
            lastTxUs_ = NowUs();
            log_.Byte(lastTxUs_, "TX", static_cast<uint8_t>(c));
        } else {
            // Nobody is taking bytes off the line: they fall on the floor as on a real UART.
            ++lost;
        }
    }
    if (tx_.empty())
        pacer_.Idle();
    if (lost)
        Event(NowUs(), "overrun: " + std::to_string(lost) + " bytes lost");
}

void Simulator::ReadStdin()
{
    // Called only when poll() reported input, so this read does not block. Standard input is
    // left blocking: it may be the user's terminal, shared with the shell.
    char buf[1024];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        stdinOpen_ = false;   // the simulator goes on; scripts and signals still end it
        if (!stdinBuffer_.empty() && !stdinDiscarding_)
            StdinLine(stdinBuffer_);
        stdinBuffer_.clear();
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c == '\n') {
            if (!stdinDiscarding_)
                StdinLine(stdinBuffer_);
            stdinDiscarding_ = false;
            stdinBuffer_.clear();
            continue;
        }
        if (stdinDiscarding_)
            continue;
        if (stdinBuffer_.size() >= kMaxControlLine) {
            std::fprintf(stderr, "selvora-sim: control line too long, ignored\n");
            stdinDiscarding_ = true;
            stdinBuffer_.clear();
            continue;
        }
        stdinBuffer_.push_back(c);
    }
}

void Simulator::StdinLine(const std::string& line)
{
    ControlCommand cmd;
    std::string error;
    if (!ParseControlLine(line, cmd, error)) {
        std::fprintf(stderr, "selvora-sim: %s\n", error.c_str());
        Event(NowUs(), "control error: " + error);
        return;
    }
    if (!stdinCommands_.Push(cmd))
        std::fprintf(stderr, "selvora-sim: too many pending commands, ignored\n");
}

void Simulator::Event(int64_t now, const std::string& text)
{
    log_.Event(now, text);
}

}  // namespace sim
