#include "LogWriter.h"

#include "LogFormat.h"

#include <cerrno>
#include <cstring>

namespace sim {

LogWriter::~LogWriter()
{
    if (file_)
        std::fclose(file_);
}

bool LogWriter::Open(const std::string& path, std::string& error)
{
    file_ = std::fopen(path.c_str(), "we");
    if (!file_) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void LogWriter::Line(const std::string& line)
{
    if (!file_)
        return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void LogWriter::Byte(int64_t us, std::string_view direction, uint8_t byte)
{
    if (file_)
        Line(FormatByteLine(us, direction, byte));
}

void LogWriter::Bytes(int64_t us, std::string_view direction, std::string_view bytes)
{
    for (char c : bytes)
        Byte(us, direction, static_cast<uint8_t>(c));
}

void LogWriter::Event(int64_t us, std::string_view text)
{
    if (file_)
        Line(FormatEventLine(us, text));
}

}  // namespace sim
