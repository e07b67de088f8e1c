#pragma once
#include <QApplication>
#include <QStringList>

#include "ErrorReport.h"

// Stands in for the console's default error report in tests: a failure a handler reports, or an
// exception that escapes a handler, timer or received-data delivery, is recorded instead of
// shown in a message box.
class TestApplication : public QApplication, public IErrorReporter {
public:
    TestApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
    void ReportError(const QString& message) override;

    // Messages of the exceptions reported since the last call.
    static QStringList TakeReportedErrors();
};
