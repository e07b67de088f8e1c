#include <stdexcept>

#include "ComPort.h"
#include "SerialBenchSubject.h"

namespace {
class ComPortSubject : public SerialBenchSubject {
public:
    explicit ComPortSubject(bool onEventThread) : onEventThread_(onEventThread) {}
    ~ComPortSubject() override { Close(); }

    const char* Name() const override { return onEventThread_ ? "port-no-hop" : "port"; }

    void Open(const std::string& path, int baudRate, BatchCallback onBatch) override
    {
        onBatch_ = std::move(onBatch);
        link_.OnRxBuf = [this](TCustomComPort*, const char*, int n) { onBatch_(n); };
        port_.SetPort(QString::fromStdString(path));
        port_.SetBaudRate(baudRate == 256000 ? br256000 : br9600);
        if (baudRate != 256000 && baudRate != 9600)
            throw std::invalid_argument("unsupported rate");
        port_.SetSyncMethod(onEventThread_ ? smNone : smThreadSync);
        port_.AttachLink(&link_);
        port_.SetConnected(true);
    }

    void Close() override
    {
        if (!port_.Connected())
            return;
        port_.SetConnected(false);
        port_.DetachLink(&link_);
    }

private:
    bool onEventThread_;
    TComPort port_;
    TComLink link_;
    BatchCallback onBatch_;
};
}  // namespace

std::unique_ptr<SerialBenchSubject> MakeComPortSubject(bool onEventThread)
{
    return std::make_unique<ComPortSubject>(onEventThread);
}
