#pragma once
#include <QString>
#include <array>

#include "ControllerProtocol.h"
#include "ReceiveState.h"

// What the controller's characters do. The parser decides, the session acts.
class IParserEffects {
public:
    virtual ~IParserEffects() = default;
    virtual void ClearTerminal() = 0;
    virtual void AppendDumpLine(const QString& line) = 0;
    virtual void RequestOutputs() = 0;           // "x"
    virtual void ShowSavingFinished() = 0;      // modal; returns when the user closed it
    virtual void InputReplyEnded() = 0;
    virtual void OutputReplyEnded() = 0;
    virtual void SetInputState(int input, bool active) = 0;    // input 1..16
    virtual void SetOutputState(int output, bool on) = 0;      // output 1..16
    virtual void SetMode(ControllerProtocol::Mode mode) = 0;
};

// The receive side of the controller protocol: one character at a time, over the receive state. There are no frames, so the meaning of a character depends on the request
// pending and on how many characters of its reply have arrived.
class TMessageParser {
public:
    TMessageParser(TReceiveState& state, IParserEffects& effects) : state_(state), effects_(effects) {}

    // Handles one received character; never fails on its own (effects may throw).
    void HandleChar(char ch);

    // The per-output input list of the routing-table reply (output 1..16), e.g. "16,1".
    const QString& ListField(int output) const { return lists_.at(output - 1); }

    static QString DumpLinePrefix(int output);

    static const QString kSavingFinished;

private:
    void HandleDumpChar(char ch);

    TReceiveState& state_;
    IParserEffects& effects_;
    std::array<QString, ControllerProtocol::kChannels> lists_;
};
