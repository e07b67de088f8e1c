#pragma once
#include <stdexcept>
#include <string>

// The port's exception: a component error code (1..23), the operating system's code (errno on
// POSIX, -1 when there is none) and the English message.
class EComPort : public std::runtime_error {
public:
    // With a system code: "<text> (win error code: <systemCode>)".
    EComPort(int code, int systemCode);
    // With a detail for the user after it: "<text> (win error code: <systemCode>): <detail>".
    EComPort(int code, int systemCode, const std::string& detail);
    // Without a system code (codes 4, 14, 18): the text alone, SystemCode() == -1.
    explicit EComPort(int code);

    int Code() const { return code_; }
    int SystemCode() const { return systemCode_; }

    // The English text of a component error code (empty for unknown codes).
    static const char* TextOf(int code);

private:
    int systemCode_;
    int code_;
};
