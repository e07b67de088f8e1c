#include "ErrorReport.h"

#include <QCoreApplication>
#include <QDebug>

namespace ErrorReport {

QString Message(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void Report(std::exception_ptr error)
{
    const QString message = Message(error);
    // Reporting must not fail in turn: it runs where an exception may not escape.
    try {
        if (auto* reporter = dynamic_cast<IErrorReporter*>(QCoreApplication::instance())) {
            reporter->ReportError(message);
            return;
        }
    } catch (...) {
    }
    qWarning().noquote() << message;
}

}  // namespace ErrorReport
