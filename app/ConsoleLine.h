#pragma once
#include <memory>

class TComPort;
class TControllerSession;
class TPortKeeper;

// The console's line to the controller, built once at start and handed to the windows: the port
// at the controller's settings (9600 8N1, no handshake), the conversation on it and the keeper
// that reopens it after a lost device. The port is named and opened by the main window's
// start-up, from config.ini.
class TConsoleLine {
public:
    TConsoleLine();
    ~TConsoleLine();
    TConsoleLine(const TConsoleLine&) = delete;
    TConsoleLine& operator=(const TConsoleLine&) = delete;

    TComPort& Port() { return *port_; }
    TControllerSession& Session() { return *session_; }
    TPortKeeper& Keeper() { return *keeper_; }

private:
    // Destroyed in reverse: the keeper and the session use the port.
    std::unique_ptr<TComPort> port_;
    std::unique_ptr<TControllerSession> session_;
    std::unique_ptr<TPortKeeper> keeper_;
};
