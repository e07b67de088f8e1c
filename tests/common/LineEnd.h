#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The console's end of the simulator's line: opens a link or pty path raw and non-blocking.
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

std::string ReadFile(const std::string& path);
