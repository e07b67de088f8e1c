#include "SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int64_t LeftMs(Clock::time_point end)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
}

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

std::string SimProcess::Executable()
{
    const char* dir = std::getenv("KONF_BUILD_DIR");
    return std::string(dir ? dir : ".") + "/selvora-sim";
}

SimProcess::SimProcess(const std::string& dir, const std::vector<std::string>& args, bool waitReady)
{
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // Everything the child needs is prepared here: after fork() only async-signal-safe calls.
    const std::string exe = Executable();
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

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        ::execve(exe.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    ::fcntl(stdout_, F_SETFL, O_NONBLOCK);
    if (waitReady)
        firstLine_ = ReadLine(5000);
}

SimProcess::~SimProcess()
{
    Terminate();
    if (stdin_ >= 0)
        ::close(stdin_);
    if (stdout_ >= 0)
        ::close(stdout_);
}

void SimProcess::Command(const std::string& line)
{
    const std::string l = line + "\n";
    if (::write(stdin_, l.data(), l.size()) != static_cast<ssize_t>(l.size()))
        throw std::runtime_error("writing to the simulator's stdin failed");
}

std::string SimProcess::ReadLine(int timeoutMs)
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
        if (left <= 0)
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

int SimProcess::WaitExit(int timeoutMs)
{
    if (pid_ < 0)
        return status_;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (LeftMs(end) > 0);
    return -1;
}

void SimProcess::Terminate()
{
    if (pid_ < 0)
        return;
    ::kill(pid_, SIGTERM);
    if (WaitExit(3000) < 0) {
        ::kill(pid_, SIGKILL);
        WaitExit(3000);
    }
}

long SimProcess::RssKb() const
{
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

LineEnd::LineEnd(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
}

LineEnd::~LineEnd()
{
    Close();
}

void LineEnd::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void LineEnd::Write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                throw std::runtime_error(std::string("write: ") + std::strerror(errno));
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        done += static_cast<size_t>(n);
    }
}

std::string LineEnd::Read(size_t count, int timeoutMs)
{
    std::string bytes;
    ReadTimed(count, bytes, timeoutMs);
    return bytes;
}

std::vector<int64_t> LineEnd::ReadTimed(size_t count, std::string& bytes, int timeoutMs)
{
    std::vector<int64_t> times;
    bytes.clear();
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
        const int64_t left = LeftMs(end);
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - bytes.size()));
        const int64_t t = NowNs();
        if (n > 0) {
            bytes.append(buf, static_cast<size_t>(n));
            times.insert(times.end(), static_cast<size_t>(n), t);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return times;
}

std::string LineEnd::Drain(int quietMs, int timeoutMs)
{
    std::string out;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int64_t left = LeftMs(end);
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, quietMs))) <= 0)
            break;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

bool LineEnd::WaitHangup(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (LeftMs(end) > 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(LeftMs(end))) <= 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        char buf[256];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno == EIO))
            return true;
    }
    return false;
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/selvora-sim-test-XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    const std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) {
        // Leftovers in /tmp are harmless.
    }
}

bool WaitForPath(const std::string& path, bool present, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        struct stat st {};
        if ((::lstat(path.c_str(), &st) == 0) == present)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (LeftMs(end) > 0);
    return false;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
