#pragma once
#include "ControlSequencer.h"
#include "Controller.h"
#include "FaultInjector.h"
#include "LineEndpoint.h"
#include "LogWriter.h"
#include "Options.h"
#include "RandomInputs.h"
#include "StateStore.h"
#include "TxPacer.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace sim {

// The running simulator: the controller core on a line endpoint, driven by the control channel.
class Simulator {
public:
    explicit Simulator(const Options& options);
    ~Simulator();

    // Runs until "quit", the end of the script or SIGINT/SIGTERM/SIGHUP. Returns the exit code.
    int Run();

private:
    bool Start(std::string& error);
    void Loop();
    void ServiceLine(int64_t now);
    void PeerChanged(bool present, int64_t now);
    void RunControl(int64_t now);
    void Execute(const ControlCommand& cmd, int64_t now);
    void Collect(int64_t now);
    void WriteDue();
    bool ReadLine();   // true when bytes came
    void ReadStdin();
    void StdinLine(const std::string& line);
    void Hangup(int64_t ms, int64_t now);
    void LineLost(int64_t now);
    void ReopenLine(int64_t now);
    void PrintStatus();
    void Event(int64_t now, const std::string& text);
    int64_t WaitNs(int64_t nowNs) const;
    bool Busy() const;

    Options options_;
    Controller controller_;
    FaultInjector faults_;
    RandomInputs randomInputs_;
    ControlSequencer stdinCommands_;
    ControlSequencer scriptCommands_;
    std::unique_ptr<LineEndpoint> line_;
    std::unique_ptr<StateStore> state_;
    LogWriter log_;
    TxPacer pacer_;
    int64_t holdUntilNs_ = 0;   // no byte goes out before this (--reply-delay-ms)
    std::deque<char> tx_;
    bool peerPresent_ = false;
    std::optional<int64_t> reopenAtUs_;
    bool stdinOpen_ = true;
    std::string stdinBuffer_;
    bool stdinDiscarding_ = false;
    bool scriptRunning_ = false;
    bool quitting_ = false;
    int64_t quitDeadlineUs_ = 0;
    int64_t lastTxUs_ = 0;
};

}  // namespace sim
