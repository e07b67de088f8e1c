#include "FileStamp.h"

#include <QFile>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <time.h>
#endif

namespace {
constexpr std::int64_t kRacyWindowNs = 2'000'000'000;

// What the file system tells about a file without reading it.
struct Facts {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;   // the file's identity on the device: a rename-replace changes it
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
};

#ifdef _WIN32
// 100 ns ticks since 1601, as nanoseconds; only differences and equality matter.
std::int64_t Ns(const FILETIME& t)
{
    return ((static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 100;
}

bool LookUp(const QString& path, Facts& f)
{
    // Opened for no access and shared every way, it never stands in the way of a writer or a
    // rename-replace.
    HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok)
        return false;
    f.device = info.dwVolumeSerialNumber;
    f.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    f.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    f.mtimeNs = Ns(info.ftLastWriteTime);
    f.ctimeNs = Ns(info.ftCreationTime);
    return true;
}

std::int64_t NowNs()
{
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    return Ns(now);
}
#else
std::int64_t Ns(const timespec& ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool LookUp(const QString& path, Facts& f)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    f.device = static_cast<std::uint64_t>(st.st_dev);
    f.inode = static_cast<std::uint64_t>(st.st_ino);
    f.size = st.st_size;
    f.mtimeNs = Ns(st.st_mtim);
    f.ctimeNs = Ns(st.st_ctim);
    return true;
}

std::int64_t NowNs()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now);
}
#endif
}  // namespace

bool TFileStamp::Changed(const QString& path)
{
    Facts f;
    if (!LookUp(path, f)) {
        valid_ = false;
        return false;
    }
    const bool same = valid_ && device_ == f.device && inode_ == f.inode && size_ == f.size
        && mtimeNs_ == f.mtimeNs && ctimeNs_ == f.ctimeNs;
    valid_ = true;
    device_ = f.device;
    inode_ = f.inode;
    size_ = f.size;
    mtimeNs_ = f.mtimeNs;
    ctimeNs_ = f.ctimeNs;
    if (!same)
        return true;
    return NowNs() - f.mtimeNs < kRacyWindowNs;
}
