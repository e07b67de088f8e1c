// The receive road without the window: bytes from the line through the escape decoder and the
// terminal model, each plain character to the controller message parser, whose effects act back
// on the terminal ('_' clears it from inside the character event).
#include "ComTermModel.h"
#include "MessageParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Host : public TTermModelHost, public IParserEffects {
public:
    explicit Host(TComTermModel& model) : model_(model) {}

    bool PortOpen() const override { return true; }
    void WritePort(const std::string& bytes) override { written_ += bytes.size(); }
    void FireChar(char ch) override { parser_.HandleChar(ch); }

    void ClearTerminal() override { model_.ClearDisplay(); }
    void AppendDumpLine(const QString& line) override
    {
        // One line per output, in order, each its output's prefix and a list of inputs.
        ++dumpLine_;
        const int output = (dumpLine_ - 1) % 16 + 1;
        const QString prefix = TMessageParser::DumpLinePrefix(output);
        if (!line.startsWith(prefix))
            std::abort();
        for (const QChar c : line.mid(prefix.size()))
            if (!c.isDigit() && c != QLatin1Char(','))
                std::abort();
    }
    void RequestOutputs() override { State.BeginOutputRead(); }
    void ShowSavingFinished() override {}
    void InputReplyEnded() override {}
    void OutputReplyEnded() override {}
    void SetInputState(int input, bool) override
    {
        if (input < 1 || input > 16)
            std::abort();
    }
    void SetOutputState(int output, bool) override
    {
        if (output < 1 || output > 16)
            std::abort();
    }
    void SetMode(ControllerProtocol::Mode mode) override
    {
        if (ControllerProtocol::ModeOfCharacter(ControllerProtocol::ModeCharacter(mode)) != mode)
            std::abort();
    }

    // A dump taken up in its middle: the lines before this block are not seen again.
    void StartDump() { dumpLine_ = State.ConfigDumpPosition / 16; }

    TReceiveState State;

private:
    TComTermModel& model_;
    TMessageParser parser_{State, *this};
    std::size_t written_ = 0;
    int dumpLine_ = 0;
};

void CheckCaret(const TComTermModel& m)
{
    if (m.CaretColumn() < 1 || m.CaretColumn() > m.Columns() || m.CaretRow() < 1
        || m.CaretRow() > m.Rows())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    // Header: emulation and options, grid size, which replies are pending.
    const std::uint8_t options = data[0];
    const int columns = TComTermModel::MinColumns + data[1] % 120;
    const int rows = TComTermModel::MinRows + data[2] % 40;
    const std::uint8_t pending = data[3];
    data += 4;
    size -= 4;

    TComTermModel model;
    Host host(model);
    model.SetHost(&host);
    model.BeginLoading();
    model.SetColumns(columns);
    model.SetRows(rows);
    model.SetEmulation(options & 1 ? teVT52 : teVT100orANSI);
    model.Loaded();
    model.WrapLines = options & 2;
    model.AppendLF = options & 4;
    model.Force7Bit = options & 8;
    model.LocalEcho = options & 16;
    model.SendLF = options & 32;
    if (pending & 1)
        host.State.BeginInputRead();
    if (pending & 2)
        host.State.BeginOutputRead();
    if (pending & 4) {
        host.State.ConfigDumpActive = true;
        host.State.ConfigDumpPosition = static_cast<std::uint8_t>(pending & 0xf0);
        host.StartDump();
    }

    // Chunks as the port hands them over; a chunk length byte, then the chunk.
    while (size > 0) {
        const std::size_t chunk = std::min<std::size_t>(size - 1, 1 + data[0] % 64);
        model.ProcessReceived(reinterpret_cast<const char*>(data + 1), static_cast<int>(chunk));
        CheckCaret(model);
        if (host.State.InputReadPosition < 0 || host.State.InputReadPosition > 16 || host.State.OutputReadPosition < 0)
            std::abort();
        data += chunk + 1;
        size -= chunk + 1;
    }
    // The keyboard path answers on the same model.
    model.SendKeyChar('a');
    model.CursorKey(tkUp);
    CheckCaret(model);
    return 0;
}
