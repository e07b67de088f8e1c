#pragma once
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// A running selvora-sim from the build directory, with its standard input and output on pipes.
class SimProcess {
public:
    // Starts the simulator in `dir` with `args`; unless `waitReady` is false, waits for its
    // first line, which names the line it serves.
    SimProcess(const std::string& dir, const std::vector<std::string>& args, bool waitReady = true);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    static std::string Executable();

    bool Ready() const { return !firstLine_.empty(); }
    const std::string& FirstLine() const { return firstLine_; }
    pid_t Pid() const { return pid_; }

    void Command(const std::string& line);
    std::string ReadLine(int timeoutMs);
    // Exit status once it has ended (-1 if it is still running after `timeoutMs`).
    int WaitExit(int timeoutMs);
    void Terminate();
    long RssKb() const;

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string pending_;
    std::string firstLine_;
    int status_ = -1;
};

// The console's end: opens a link or pty path raw and non-blocking.
class LineEnd {
public:
    explicit LineEnd(const std::string& path);
    ~LineEnd();
    LineEnd(const LineEnd&) = delete;
    LineEnd& operator=(const LineEnd&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Write(const std::string& bytes);
    std::string Read(size_t count, int timeoutMs = 2000);
    // Whatever comes until `quietMs` pass without a byte.
    std::string Drain(int quietMs = 100, int timeoutMs = 3000);
    // Reads `count` bytes and the steady-clock time (ns) each one was seen.
    std::vector<int64_t> ReadTimed(size_t count, std::string& bytes, int timeoutMs);
    // True once the far end is gone (hang-up or read error).
    bool WaitHangup(int timeoutMs);
    void Close();

private:
    int fd_ = -1;
};

// A fresh directory under /tmp, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool WaitForPath(const std::string& path, bool present, int timeoutMs);
std::string ReadFile(const std::string& path);
