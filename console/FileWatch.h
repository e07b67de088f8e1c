#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

// Tells when a file may have changed without looking at it over and over: written and closed,
// or replaced by a rename (OnChanged); written to and maybe not finished yet (OnTouched). It
// watches the file's folder, so a file replaced by a rename is followed. Where the platform
// offers no such notice, Watch() returns false and the caller keeps looking periodically;
// OnLost says the same later (the folder went away, or the watch broke).
class TFileWatch {
public:
    TFileWatch();
    ~TFileWatch();
    TFileWatch(const TFileWatch&) = delete;
    TFileWatch& operator=(const TFileWatch&) = delete;

    bool Watch(const QString& path);
    void Stop();

    std::function<void()> OnChanged;
    std::function<void()> OnTouched;
    std::function<void()> OnLost;

private:
    void ReadEvents();

    int fd_ = -1;
    QByteArray name_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
