#include <QSerialPort>
#include <cstdio>
#include <cstdlib>

#include "SerialBenchSubject.h"

namespace {
class QSerialPortSubject : public SerialBenchSubject {
public:
    ~QSerialPortSubject() override { Close(); }

    const char* Name() const override { return "QSerialPort"; }

    void Open(const std::string& path, int baudRate, BatchCallback onBatch) override
    {
        onBatch_ = std::move(onBatch);
        port_.setPortName(QString::fromStdString(path));
        QObject::connect(&port_, &QSerialPort::readyRead, [this] {
            qint64 n;
            while ((n = port_.read(buffer_, sizeof buffer_)) > 0)
                onBatch_(static_cast<int>(n));
        });
        if (!port_.open(QIODevice::ReadWrite) || !port_.setBaudRate(baudRate)) {
            std::fprintf(stderr, "QSerialPort: %s\n", qPrintable(port_.errorString()));
            std::exit(1);
        }
    }

    void Close() override
    {
        if (!port_.isOpen())
            return;
        port_.close();
        QObject::disconnect(&port_, nullptr, nullptr, nullptr);
    }

private:
    QSerialPort port_;
    BatchCallback onBatch_;
    char buffer_[64 * 1024];
};
}  // namespace

std::unique_ptr<SerialBenchSubject> MakeQSerialPortSubject()
{
    return std::make_unique<QSerialPortSubject>();
}
