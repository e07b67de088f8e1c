#include "MessageParser.h"

const QString TMessageParser::kSavingFinished = QStringLiteral("Proces zapisywania zakończony !");

namespace P = ControllerProtocol;

QString TMessageParser::DumpLinePrefix(int output)
{
    // Outputs 10..16 have no blank before the colon, so every prefix lines up.
    if (output < 10)
        return QStringLiteral("Wyjście %1 jest sterowane przez wejścia : ").arg(output);
    return QStringLiteral("Wyjście %1 jest sterowane przez wejścia: ").arg(output);
}

void TMessageParser::HandleDumpChar(char ch)
{
    const int p = state_.ConfigDumpPosition;
    const int m = p / P::kChannels + 1;
    const int j = p % P::kChannels;
    if (p == 0) {
        for (QString& list : lists_)
            list.clear();
    }
    QString& list = lists_[m - 1];
    if (ch == P::kOn) {
        // The dump names input 16 first and input 1 last.
        if (j == 0)
            list = QStringLiteral("16,");
        else if (j < 15)
            list += QString::number(16 - j) + QLatin1Char(',');
        else
            list += QLatin1Char('1');
    }
    if (j == 15)
        effects_.AppendDumpLine(DumpLinePrefix(m) + list);
    if (p == P::kRoutingCharacters - 1)
        state_.ConfigDumpActive = false;
    state_.ConfigDumpPosition = static_cast<std::uint8_t>(p + 1);
}

void TMessageParser::HandleChar(char ch)
{
    if (ch == P::kClearScreen)
        effects_.ClearTerminal();

    if (state_.ConfigDumpActive)
        HandleDumpChar(ch);
    else
        state_.ConfigDumpPosition = 0;

    // A '/' starts a new output reading here; it is a request, not the reply's first state.
    const bool outputRequestedHere = ch == P::kOutputsChanged;
    if (outputRequestedHere)
        effects_.RequestOutputs();

    if (ch == P::kSaved)
        effects_.ShowSavingFinished();

    if (ch == P::kOutputReplyEnd) {
        state_.OutputReadActive = false;
        effects_.OutputReplyEnded();
    }

    if (state_.InputReadActive) {
        ++state_.InputReadPosition;
        const int n = state_.InputReadPosition;
        if (n >= 1 && n <= P::kChannels)
            effects_.SetInputState(n, ch == P::kOn);
    }

    if (state_.InputReadPosition == P::ReplyLength(P::kInputStates)) {
        state_.InputReadPosition = 0;
        state_.InputReadActive = false;
        effects_.InputReplyEnded();
    }

    if (const auto mode = P::ModeOfCharacter(ch))
        effects_.SetMode(*mode);

    if (state_.OutputReadActive && !outputRequestedHere) {
        const int n = state_.OutputReadPosition;
        if (n >= 0 && n < P::kChannels)
            effects_.SetOutputState(n + 1, ch == P::kOn);
        // Counts on past 15 until '!'; saturate instead of overflowing on an endless reply.
        if (state_.OutputReadPosition < INT32_MAX)
            ++state_.OutputReadPosition;
    }
}
