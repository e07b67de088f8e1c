#pragma once
#include <QString>
#include <array>

#include "ReceiveState.h"

// What the controller's characters do to the main window. The parser decides, the window acts.
class IParserEffects {
public:
    virtual ~IParserEffects() = default;
    virtual void ClearTerminal() = 0;
    virtual void AppendDumpLine(const QString& line) = 0;
    virtual void RequestOutputStates() = 0;     // Button3Click: "x"
    virtual void ShowSavingFinished() = 0;      // modal; returns when the user closed it
    virtual void StartTimer6() = 0;
    virtual void StartTimer7() = 0;
    virtual void SetInputState(int input, bool active) = 0;    // input 1..16
    virtual void SetOutputState(int output, bool on) = 0;      // output 1..16
    virtual void SetModeCaption(const QString& caption) = 0;
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
    static const QString kModeEqualInputs;
    static const QString kModeRemoteFirst;
    static const QString kModeRemoteOnly;

private:
    void HandleDumpChar(char ch);

    TReceiveState& state_;
    IParserEffects& effects_;
    std::array<QString, 16> lists_;
};
