#include "SimulatorProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int64_t LeftMs(Clock::time_point end)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
}

}  // namespace

SimulatorProcess::SimulatorProcess(const std::string& dir) : dir_(dir)
{
    if (dir_.empty()) {
        ownDir_ = std::make_unique<QTemporaryDir>();
        if (!ownDir_->isValid())
            throw std::runtime_error("no temporary folder for the simulator");
        dir_ = ownDir_->path().toStdString();
    }
}

SimulatorProcess::~SimulatorProcess()
{
    Stop();
}

std::string SimulatorProcess::Executable()
{
    if (const char* build = std::getenv("KONF_BUILD_DIR"); build && *build)
        return std::string(build) + "/selvora-sim";
    // Tests sit beside it, benchmarks one folder below.
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    for (const std::filesystem::path& dir : {self, self.parent_path()})
        if (std::filesystem::exists(dir / "selvora-sim", ec))
            return (dir / "selvora-sim").string();
    return "selvora-sim";
}

bool SimulatorProcess::Start(const std::vector<std::string>& options)
{
    std::vector<std::string> args{"--link", LinkPath(), "--log", LogPath()};
    args.insert(args.end(), options.begin(), options.end());
    return StartWithArgs(args);
}

bool SimulatorProcess::StartWithArgs(const std::vector<std::string>& args, bool waitAnnouncement)
{
    Stop();
    error_.clear();
    announcement_.clear();
    pending_.clear();
    status_ = -1;
    const std::string exe = Executable();
    if (::access(exe.c_str(), X_OK) != 0) {
        error_ = "no simulator at " + exe;
        return false;
    }
    // Its standard input is a socket so that a command to a simulator that has just ended fails
    // instead of raising SIGPIPE here.
    int in[2];
    int out[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        throw std::runtime_error("socketpair failed");
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    // Everything the child needs is prepared here: after fork() only async-signal-safe calls.
    std::vector<std::string> argStore{exe};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // Under AddressSanitizer freed memory sits in a quarantine, which would read as growth.
    std::vector<std::string> envStore;
    std::string asan = "ASAN_OPTIONS=quarantine_size_mb=0";
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0)
            asan = std::string(*e) + ":quarantine_size_mb=0";
        else
            envStore.emplace_back(*e);
    }
    envStore.push_back(asan);
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ == 0) {
        // It goes when the test goes, even one that crashed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(125);
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        // Nothing else of ours, a pty master above all, may stay open in it.
        ::close_range(3, ~0u, 0);
        if (::chdir(dir_.c_str()) != 0)
            ::_exit(126);
        ::execve(exe.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(in[1]);
        ::close(out[0]);
        error_ = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    stdin_ = in[1];
    stdout_ = out[0];
    ::fcntl(stdout_, F_SETFL, O_NONBLOCK);
    if (!waitAnnouncement)
        return true;
    announcement_ = ReadLine(5000);
    if (announcement_.rfind("selvora-sim: ", 0) != 0) {
        error_ = Running() ? "the simulator announced no link: " + announcement_
                           : "the simulator ended at once (status " + std::to_string(WaitExit(0)) + ")";
        return false;
    }
    return true;
}

void SimulatorProcess::Command(const std::string& line)
{
    const std::string l = line + "\n";
    if (stdin_ < 0 || ::send(stdin_, l.data(), l.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(l.size()))
        throw std::runtime_error("writing to the simulator's standard input failed");
}

std::string SimulatorProcess::ReadLine(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        const int64_t left = LeftMs(end);
        if (stdout_ < 0 || left <= 0)
            return {};
        pollfd p{stdout_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(stdout_, buf, sizeof buf);
        if (n > 0)
            pending_.append(buf, static_cast<size_t>(n));
        else if (n == 0)
            return {};
    }
}

SimStatus SimulatorProcess::Status(int timeoutMs)
{
    SimStatus st;
    // Older announcements and answers are of no interest now.
    while (!ReadLine(0).empty()) {
    }
    Command("status");
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (line.rfind("status ", 0) != 0) {
        const int64_t left = LeftMs(end);
        if (left <= 0)
            return st;
        line = ReadLine(static_cast<int>(left));
    }
    size_t at = 0;
    while (at < line.size()) {
        size_t space = line.find(' ', at);
        if (space == std::string::npos)
            space = line.size();
        const std::string field = line.substr(at, space - at);
        at = space + 1;
        const size_t eq = field.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = field.substr(0, eq);
        const std::string value = field.substr(eq + 1);
        if (key == "mode")
            st.mode = std::atoi(value.c_str());
        else if (key == "inputs")
            st.inputs = value;
        else if (key == "outputs")
            st.outputs = value;
        else if (key == "routing")
            st.routing = value;
        else if (key == "learning")
            st.learning = value;
        else if (key == "peer")
            st.peer = value == "yes";
    }
    st.valid = st.inputs.size() == 16 && st.outputs.size() == 16 && st.routing.size() == 256;
    return st;
}

bool SimulatorProcess::Running()
{
    return WaitExit(0) == -1 && pid_ > 0;
}

long SimulatorProcess::RssKb() const
{
    if (pid_ < 0)
        return -1;
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

int SimulatorProcess::WaitExit(int timeoutMs)
{
    if (pid_ < 0)
        return status_;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            Close();
            return status_;
        }
        if (LeftMs(end) <= 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void SimulatorProcess::Stop()
{
    if (pid_ >= 0) {
        try {
            Command("quit");
        } catch (const std::runtime_error&) {
            // It no longer listens: the signals below end it.
        }
        if (WaitExit(5000) < 0) {
            ::kill(pid_, SIGTERM);
            if (WaitExit(3000) < 0) {
                ::kill(pid_, SIGKILL);
                WaitExit(3000);
            }
        }
    }
    Close();
}

void SimulatorProcess::Close()
{
    if (stdin_ >= 0)
        ::close(stdin_);
    if (stdout_ >= 0)
        ::close(stdout_);
    stdin_ = stdout_ = -1;
}
