#pragma once
#include <QString>

#include <stdexcept>

// Exit codes of selvora-ctl. Scripts test them, so they never change meaning; README.md lists
// them.
enum class TExitCode : int {
    Ok = 0,
    Failed = 1,            // anything not listed below
    Usage = 2,             // unknown command or option, missing or bad argument
    PortUnavailable = 3,   // port missing or busy, or lost during the command
    TimedOut = 4,          // no answer in time, or a damaged one
    BadFile = 5,           // a file that cannot be read, written or understood
    NotConfirmed = 6,      // a write the controller did not confirm
    Refused = 7,           // routing set would remove connections without --force
};

// Ends a command: the exit code and a message that says what went wrong and what to do.
class ECtlFailure : public std::runtime_error {
public:
    ECtlFailure(TExitCode code, const QString& message)
        : std::runtime_error(message.toStdString()), code_(code), message_(message)
    {
    }
    TExitCode Code() const { return code_; }
    const QString& Message() const { return message_; }

private:
    TExitCode code_;
    QString message_;
};

// A watch ended by SIGINT or SIGTERM: a normal end, not a failure.
struct EInterrupted {};
