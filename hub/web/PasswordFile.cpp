#include "PasswordFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <stdexcept>

std::string ReadPasswordFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(path + ": " + file.errorString().toStdString());
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw std::runtime_error(path + ": no password on the first line");
    return line.toStdString();
}
