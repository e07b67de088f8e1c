#pragma once
#include <QApplication>

#include "ErrorReport.h"

// The program's default error report: a failure that a handler, a timer or the delivery of
// received data could not finish is shown in a modal error box, and the rest of that handler
// does not run. The program itself goes on. Handlers hand their failures over through
// ErrorReport; notify catches what slips past them, as a last resort.
class TApplication : public QApplication, public IErrorReporter {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    void ReportError(const QString& message) override;

    // The error box.
    static void ShowException(const QString& message);
};
