#pragma once
#include <QApplication>

// The program's default error report: a failure that escapes a handler, a timer or the
// delivery of received data is shown in a modal error box, and the rest of that handler does
// not run. The program itself goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The error box; also used for failures caught outside event delivery.
    static void ShowException(const QString& message);
};
