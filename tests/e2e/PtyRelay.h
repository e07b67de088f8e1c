#pragma once
// A serial line between the console and a simulator that can be restarted: the console keeps
// its own pty for the whole run while the far end is reattached to whichever simulator is
// published at the simulator's link. Bytes sent while no simulator is attached are lost, as on
// a cable with nothing at its end.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class PtyPair;

class PtyRelay {
public:
    // The console opens `consoleLink`; the relay follows `simLink`.
    PtyRelay(std::string consoleLink, std::string simLink);
    ~PtyRelay();
    bool Start(std::string* error);
    void Stop();

    bool Attached() const { return attached_.load(); }
    uint64_t Attachments() const { return attachments_.load(); }
    uint64_t BytesToSim() const { return toSim_.load(); }
    uint64_t BytesToConsole() const { return toConsole_.load(); }

private:
    void Run();
    bool Attach();
    void Detach();

    std::string consoleLink_;
    std::string simLink_;
    std::unique_ptr<PtyPair> console_;
    int simFd_ = -1;
    int stopFd_ = -1;
    std::thread thread_;
    std::atomic<bool> attached_{false};
    std::atomic<uint64_t> attachments_{0};
    std::atomic<uint64_t> toSim_{0};
    std::atomic<uint64_t> toConsole_{0};
};
