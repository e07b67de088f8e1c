#pragma once
// What the serial benchmark drives: a port on a pseudo-terminal's slave that tells of every batch
// of received bytes on the thread it hands them to.
#include <functional>
#include <memory>
#include <string>

class SerialBenchSubject {
public:
    // Runs on the delivering thread with the size of each batch.
    using BatchCallback = std::function<void(int count)>;

    virtual ~SerialBenchSubject() = default;
    virtual const char* Name() const = 0;
    virtual void Open(const std::string& path, int baudRate, BatchCallback onBatch) = 0;
    virtual void Close() = 0;
};

// Our port with a link taking the data: on the GUI thread as the product uses it, or straight on
// its event thread, which leaves out the hand-over between the two.
std::unique_ptr<SerialBenchSubject> MakeComPortSubject(bool onEventThread);
// Qt's own serial port, the peer: reads on the GUI thread from a socket notifier.
std::unique_ptr<SerialBenchSubject> MakeQSerialPortSubject();
