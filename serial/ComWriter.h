#pragma once
#include <string>

// Where a part that shares a line without owning it writes its bytes. A failure is told, not
// thrown: the writer may be in the middle of its own bookkeeping, and the owner of the line
// decides what a failed line means.
class IComWriter {
public:
    virtual ~IComWriter() = default;
    // True when the bytes were sent; otherwise `why` says what failed.
    virtual bool WriteBytes(const std::string& bytes, std::string& why) = 0;
};
