#pragma once
#include <memory>
#include <string>

namespace sim {

// The simulator's end of the serial line: a fresh pty published under a link, or an existing
// serial device. Non-blocking; the descriptor is -1 while closed.
class LineEndpoint {
public:
    virtual ~LineEndpoint() = default;

    virtual bool Open(std::string& error) = 0;
    virtual void Close() = 0;
    virtual int Fd() const = 0;
    // Whether somebody has the console's end open. Not knowable for a device: always true.
    virtual bool PeerPresent() const = 0;
    // What to print once open: "<link> -> <pty>" or the device path.
    virtual std::string Description() const = 0;
};

std::unique_ptr<LineEndpoint> MakePtyEndpoint(const std::string& link);
std::unique_ptr<LineEndpoint> MakeDeviceEndpoint(const std::string& path);

}  // namespace sim
