#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace sim {

// The --log file: every line is flushed at once so tests can follow it live.
class LogWriter {
public:
    LogWriter() = default;
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    bool Open(const std::string& path, std::string& error);
    void Byte(int64_t us, std::string_view direction, uint8_t byte);
    void Bytes(int64_t us, std::string_view direction, std::string_view bytes);
    void Event(int64_t us, std::string_view text);

private:
    void Line(const std::string& line);

    std::FILE* file_ = nullptr;
};

}  // namespace sim
