#include <QRegularExpression>

#include "ComPort.h"

std::string DevicePathForPort(const QString& port)
{
    // Windows names: COM1..COM256 are the first 256 on-board serial ports.
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]{0,2})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(port);
#ifdef _WIN32
    // The device namespace reaches every COM port; the plain name only reaches COM1..COM9.
    // Anything else (\\.\COM12, a named device) stands as given.
    if (m.hasMatch())
        return "\\\\.\\COM" + m.captured(1).toStdString();
    return port.toStdString();
#else
    if (m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n <= 256)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    // Absolute and explicitly relative paths stand as given, and so does a relative path that
    // exists from here; "ttyUSB0" or "serial/by-id/usb-..." are names under /dev/.
    const std::string name = port.toStdString();
    if (port.startsWith(QLatin1Char('/')) || port.startsWith(QLatin1String("./")) ||
        port.startsWith(QLatin1String("../")))
        return name;
    if (port.contains(QLatin1Char('/')) && ComDeviceExists(name))
        return name;
    return "/dev/" + name;
#endif
}
