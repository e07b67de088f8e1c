#pragma once
#include <QString>

#include <exception>
#include <utility>

// The program's one way of telling the user that something failed. Handlers catch at their
// entry and hand the failure here, so that no exception crosses Qt's signal, slot or event
// code. The application object decides how it is shown (the console: a modal error box).
class IErrorReporter {
public:
    virtual ~IErrorReporter() = default;
    virtual void ReportError(const QString& message) = 0;
};

namespace ErrorReport {

// The failure's message: what() of a standard exception, else "Unknown error".
QString Message(std::exception_ptr error);

// To the application when it is an IErrorReporter; otherwise to the log.
void Report(std::exception_ptr error);

// Runs a handler; what it throws is reported and goes no further.
template <class Handler>
void Guard(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        Report(std::current_exception());
    }
}

}  // namespace ErrorReport
