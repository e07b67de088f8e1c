#pragma once
// selvora-sim from the build directory, started for one test or measurement: on its own pty link
// in a folder of its own (or a given one), its control channel on our side, its log read back.
#include "SimLog.h"

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// The simulator's answer to "status".
struct SimStatus {
    bool valid = false;
    int mode = -1;
    std::string inputs;    // 16 x '0'/'1', input 1 first
    std::string outputs;   // 16 x '0'/'1', output 1 first
    std::string routing;   // 256, write order
    std::string learning;
    bool peer = false;
};

class SimulatorProcess {
public:
    // Works in `dir`, or in a temporary folder of its own when `dir` is empty.
    explicit SimulatorProcess(const std::string& dir = {});
    ~SimulatorProcess();   // Stop()
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // $KONF_BUILD_DIR/selvora-sim, else the one beside the running program.
    static std::string Executable();

    // Starts it with its link at LinkPath(), its log at LogPath() and `options`, and waits until
    // it announces the link; false with the reason in Error() otherwise.
    bool Start(const std::vector<std::string>& options = {});
    // Starts it with exactly `args`; with `waitAnnouncement` false it waits for nothing (for a
    // command line that is meant to be refused).
    bool StartWithArgs(const std::vector<std::string>& args, bool waitAnnouncement = true);

    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string LinkPath() const { return Path("ttyCONTROLLER"); }
    std::string LogPath() const { return Path("sim.log"); }
    const std::string& Announcement() const { return announcement_; }   // "selvora-sim: <line>"
    const std::string& Error() const { return error_; }

    // One control line ("in 5 on", "mode", ...) on its standard input.
    void Command(const std::string& line);
    // The next line it prints; empty after `timeoutMs` or when it has ended.
    std::string ReadLine(int timeoutMs);
    // Asks "status" and reads the answer; not valid when none came within `timeoutMs`.
    SimStatus Status(int timeoutMs = 3000);
    std::vector<SimLogRecord> Log() const { return ReadSimLog(LogPath()); }

    bool Running();
    pid_t Pid() const { return pid_; }
    long RssKb() const;   // -1 when it is not running
    // Its exit status once it has ended (128 + signal when a signal ended it); -1 while it is
    // still running after `timeoutMs`.
    int WaitExit(int timeoutMs);
    // "quit", then SIGTERM, then SIGKILL, each when the one before was not enough.
    void Stop();

private:
    void Close();

    std::unique_ptr<QTemporaryDir> ownDir_;
    std::string dir_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string pending_;
    std::string announcement_;
    std::string error_;
    int status_ = -1;
};
