#pragma once
#include <QString>
#include <cstdint>

// Tells cheaply whether a file may have changed since the last look: size, modification time
// and inode (a rename-replace gives a new inode). A file modified within the last two seconds
// always counts as changed, because two edits of equal size can share one timestamp tick.
class TFileStamp {
public:
    // True when the file must be reread; a missing file is reported as unchanged (false) and
    // forgotten, so that it counts as changed once it is back.
    bool Changed(const QString& path);
    void Forget() { valid_ = false; }

private:
    bool valid_ = false;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::int64_t size_ = 0;
    std::int64_t mtimeNs_ = 0;
    std::int64_t ctimeNs_ = 0;
};
