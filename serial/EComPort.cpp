#include "EComPort.h"

#include <string>

namespace {
const char* const kTexts[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};
constexpr int kCount = sizeof kTexts / sizeof kTexts[0];

std::string WithSystemCode(int code, int systemCode)
{
    // The suffix keeps the wording users already know from the Windows build.
    return std::string(EComPort::TextOf(code)) + " (win error code: " + std::to_string(systemCode) + ")";
}
}  // namespace

const char* EComPort::TextOf(int code)
{
    return code >= 1 && code <= kCount ? kTexts[code - 1] : "";
}

EComPort::EComPort(int code, int systemCode)
    : std::runtime_error(WithSystemCode(code, systemCode)), systemCode_(systemCode), code_(code)
{
}

EComPort::EComPort(int code, int systemCode, const std::string& detail)
    : std::runtime_error(WithSystemCode(code, systemCode) + ": " + detail), systemCode_(systemCode), code_(code)
{
}

EComPort::EComPort(int code) : std::runtime_error(TextOf(code)), systemCode_(-1), code_(code) {}
