#pragma once
#include <QApplication>
#include <QStringList>

// Stands in for the console's default error report in tests: an exception that escapes a
// handler, timer or received-data delivery is recorded instead of shown in a message box.
class TestApplication : public QApplication {
public:
    TestApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;

    // Messages of the exceptions reported since the last call.
    static QStringList TakeReportedErrors();
};
