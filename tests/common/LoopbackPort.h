#pragma once
// Loopback ports for the servers that tests and benchmarks start.
#include <functional>
#include <string>

// A TCP port on 127.0.0.1 that nothing listens on right now; 0 when none can be had.
int FreeLoopbackPort();

// How a server fared on the port it was given.
enum class PortBind { Listening, Taken, Failed };

// Starts a server through `start(port, why)` on a free loopback port. Another program may take
// the port between the look and the server's bind; the server is then started again on another,
// up to `attempts` times. Returns the port it listens on, or 0 with the reason in `error`.
int StartOnFreePort(const std::function<PortBind(int port, std::string* why)>& start,
                    std::string* error, int attempts = 5);
