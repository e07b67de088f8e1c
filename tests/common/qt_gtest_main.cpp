#include "TestApplication.h"

#include <exception>
#include <gtest/gtest.h>

namespace {
QStringList& Reported()
{
    static QStringList list;
    return list;
}
}  // namespace

bool TestApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Reported().append(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Reported().append(QStringLiteral("unknown exception"));
    }
    return false;
}

void TestApplication::ReportError(const QString& message)
{
    Reported().append(message);
}

QStringList TestApplication::TakeReportedErrors()
{
    QStringList out;
    out.swap(Reported());
    return out;
}

int main(int argc, char** argv)
{
    // Widget tests run headless unless the caller chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
