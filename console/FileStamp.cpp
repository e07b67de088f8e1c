#include "FileStamp.h"

#include <QFile>
#include <sys/stat.h>
#include <time.h>

namespace {
constexpr std::int64_t kRacyWindowNs = 2'000'000'000;

std::int64_t Ns(const timespec& ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
}  // namespace

bool TFileStamp::Changed(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        valid_ = false;
        return false;
    }
    const std::int64_t mtime = Ns(st.st_mtim);
    const std::int64_t ctime = Ns(st.st_ctim);
    const bool same = valid_ && device_ == static_cast<std::uint64_t>(st.st_dev)
        && inode_ == static_cast<std::uint64_t>(st.st_ino) && size_ == st.st_size
        && mtimeNs_ == mtime && ctimeNs_ == ctime;
    valid_ = true;
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);
    size_ = st.st_size;
    mtimeNs_ = mtime;
    ctimeNs_ = ctime;
    if (!same)
        return true;
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now) - mtime < kRacyWindowNs;
}
