#include "ComTermModel.h"

#include <algorithm>

#include "EscapeCodesVT100.h"
#include "EscapeCodesVT52.h"

namespace {
constexpr TColor ColorTable[10] = {
    0x000000,   // black
    0x0000FF,   // red
    0x008000,   // green
    0x00FFFF,   // yellow
    0xFF0000,   // blue
    0x800080,   // purple
    0x0080FF,   // orange
    0xFFFFFF,   // white
    0x000080,   // maroon
    0x808080,   // grey
};

long long Clamp(long long v, long long lo, long long hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Runs EndOutput however the batch ends, so the caret always comes back.
class OutputScope {
public:
    explicit OutputScope(TTermModelHost* host) : host_(host) { host_->BeginOutput(); }
    ~OutputScope() { host_->EndOutput(); }
    OutputScope(const OutputScope&) = delete;
    OutputScope& operator=(const OutputScope&) = delete;

private:
    TTermModelHost* host_;
};
}  // namespace

TComTermModel::TComTermModel(TTermModelHost* host)
    : host_(host ? host : &nullHost_), buffer_(this)
{
    ResetAttributes();
    CreateDecoder();
    buffer_.Allocate();
}

TComTermModel::~TComTermModel() = default;

void TComTermModel::Loaded()
{
    loading_ = false;
    CreateDecoder();
    buffer_.Allocate();
    ClampCarets();
    host_->DisplayChanged();
}

void TComTermModel::CreateDecoder()
{
    decoder_.reset();
    switch (emulation_) {
    case teVT100orANSI: decoder_ = std::make_unique<TEscapeCodesVT100>(); break;
    case teVT52: decoder_ = std::make_unique<TEscapeCodesVT52>(); break;
    case teNone: {
        TEscapeCodes* supplied = nullptr;
        host_->FireGetEscapeCodes(supplied);
        decoder_.reset(supplied);
        break;
    }
    }
}

void TComTermModel::SetEmulation(TTermEmulation value)
{
    if (value == emulation_)
        return;
    emulation_ = value;
    if (!loading_)
        CreateDecoder();
}

void TComTermModel::SetColumns(int value)
{
    value = static_cast<int>(Clamp(value, MinColumns, MaxColumns));
    if (value == columns_)
        return;
    columns_ = value;
    Reallocate();
}

void TComTermModel::SetRows(int value)
{
    value = static_cast<int>(Clamp(value, MinRows, MaxRows));
    if (value == rows_)
        return;
    rows_ = value;
    Reallocate();
}

void TComTermModel::Reallocate()
{
    // The carets come inside the new grid before anything else can store a cell.
    ClampCarets();
    host_->GridResized();
    if (loading_)
        return;
    buffer_.Allocate();
    host_->DisplayChanged();
}

void TComTermModel::ClampCarets()
{
    caretColumn_ = static_cast<int>(Clamp(caretColumn_, 1, columns_));
    caretRow_ = static_cast<int>(Clamp(caretRow_, 1, rows_));
    // A saved caret of (0, 0) means "never saved" and restores to (1, 1) anyway.
    savedColumn_ = static_cast<int>(Clamp(savedColumn_, 0, columns_));
    savedRow_ = static_cast<int>(Clamp(savedRow_, 0, rows_));
}

void TComTermModel::SetFontColor(TColor value)
{
    fontColor_ = value;
    attr_.Foreground = value;
}

void TComTermModel::SetColor(TColor value)
{
    color_ = value;
    attr_.Background = value;
}

void TComTermModel::ClearDisplay()
{
    buffer_.Allocate();
    PlaceCaret(1, 1);
    host_->DisplayChanged();
}

void TComTermModel::ProcessReceived(const char* data, int count)
{
    std::string text(data, static_cast<std::size_t>(std::max(count, 0)));
    if (AppendLF) {
        std::string withLF;
        withLF.reserve(text.size() + text.size() / 8);
        for (char c : text) {
            withLF.push_back(c);
            if (c == '\r')
                withLF.push_back('\n');
        }
        text.swap(withLF);
    }
    if (Force7Bit) {
        for (char& c : text)
            c = static_cast<char>(c & 0x7F);
    }
    host_->FireStrReceived(text);
    DisplayText(text);
}

void TComTermModel::EnsureGrid()
{
    // Sizes set while loading take effect here if output arrives before Loaded.
    if (buffer_.Columns() != columns_ || buffer_.Rows() != rows_) {
        buffer_.Allocate();
        ClampCarets();
    }
}

void TComTermModel::DisplayBytes(const char* data, std::size_t count)
{
    EnsureGrid();
    OutputScope scope(host_);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        TEscapeCodes* decoder = decoder_.get();
        if (!decoder || decoder->TakePlain(b)) {
            DisplayChar(b);
            continue;
        }
        switch (decoder->FeedByte(b)) {
        case frPlainChar:
            DisplayChar(static_cast<unsigned char>(decoder->Character()));
            break;
        case frCodeReady: {
            const TEscapeCode code = decoder->Code();
            if (!ExecuteCode(code, decoder->Params())) {
                const std::string text = decoder->Data();
                host_->FireUnhandledCode(code, text);
            }
            // The handler may have replaced the decoder.
            if (decoder_)
                decoder_->Params().clear();
            break;
        }
        case frNeedMore: break;
        }
    }
}

TTermCell TComTermModel::MakeCell(unsigned char ch) const
{
    TTermCell cell;
    cell.Symbol = ch;
    cell.Foreground = attr_.Bright ? AltColor : (attr_.Reverse ? attr_.Background : attr_.Foreground);
    cell.Background = attr_.Reverse ? attr_.Foreground : attr_.Background;
    cell.Underline = attr_.Underline;
    return cell;
}

void TComTermModel::DisplayChar(unsigned char ch)
{
    switch (ch) {
    case 8: PlaceCaret(caretColumn_ - 1, caretRow_); break;
    case 9: {
        const int t = buffer_.NextTabStop(caretColumn_ + 1);
        if (t > 0)
            PlaceCaret(t, caretRow_);
        break;
    }
    case 10: LineFeed(); break;
    case 12: ClearDisplay(); break;
    case 13: PlaceCaret(1, caretRow_); break;
    default:
        if (ch >= 32) {
            buffer_.PutCell(caretColumn_, caretRow_, MakeCell(ch));
            host_->CellsChanged(caretColumn_, caretRow_, caretColumn_, caretRow_);
            if (caretColumn_ < columns_) {
                PlaceCaret(caretColumn_ + 1, caretRow_);
            } else if (WrapLines) {
                if (caretRow_ < rows_) {
                    PlaceCaret(1, caretRow_ + 1);
                } else {
                    buffer_.ScrollContentUp();
                    PlaceCaret(1, caretRow_);
                }
            }
        }
        break;
    }
    host_->FireChar(static_cast<char>(ch));
}

void TComTermModel::LineFeed()
{
    if (caretRow_ < rows_)
        PlaceCaret(caretColumn_, caretRow_ + 1);
    else
        buffer_.ScrollContentUp();
}

void TComTermModel::ReverseLineFeed()
{
    if (caretRow_ > 1)
        PlaceCaret(caretColumn_, caretRow_ - 1);
    else
        buffer_.ScrollContentDown();
}

void TComTermModel::PlaceCaret(long long column, long long row)
{
    caretColumn_ = static_cast<int>(Clamp(column, 1, columns_));
    caretRow_ = static_cast<int>(Clamp(row, 1, rows_));
    host_->CaretMoved();
}

void TComTermModel::ResetAttributes()
{
    attr_.Foreground = fontColor_;
    attr_.Background = color_;
    attr_.Reverse = attr_.Bright = attr_.Underline = false;
}

void TComTermModel::ApplyAttributes(const TParamList& params)
{
    if (params.empty())
        ResetAttributes();
    for (std::size_t i = 0; i < params.size(); ++i) {
        // An empty parameter (as in ESC [;31m) stands for the default, 0.
        const int v = params[i].empty() ? 0 : TEscapeCodes::ParamValue(static_cast<int>(i + 1), &params);
        switch (v) {
        case 0: ResetAttributes(); break;
        case 1: attr_.Bright = true; break;
        case 21: attr_.Bright = false; break;
        case 4: attr_.Underline = true; break;
        case 24: attr_.Underline = false; break;
        case 7: attr_.Reverse = true; break;
        case 27: attr_.Reverse = false; break;
        default:
            if (v >= 30 && v <= 39)
                attr_.Foreground = ColorTable[v - 30];
            else if (v >= 40 && v <= 49)
                attr_.Background = ColorTable[v - 40];
            break;
        }
    }
}

void TComTermModel::ApplyMode(const TParamList& params, bool on)
{
    if (params.empty())
        return;
    const std::string& mode = params[0];
    if (mode == "?1")
        appCursorKeys_ = on;
    else if (mode == "7")
        WrapLines = on;
    else if (mode == "?3")
        SetColumns(on ? 132 : 80);
}

bool TComTermModel::ExecuteCode(TEscapeCode code, TParamList& params)
{
    EnsureGrid();
    // Wide enough that no parameter can overflow the caret arithmetic.
    auto p = [&params](int n) -> long long { return TEscapeCodes::ParamValue(n, &params); };
    const long long col = caretColumn_, row = caretRow_;
    switch (code) {
    case ecCursorUp:
    case ecAppCursorUp: PlaceCaret(col, row - p(1)); break;
    case ecCursorDown:
    case ecAppCursorDown: PlaceCaret(col, row + p(1)); break;
    case ecCursorLeft:
    case ecAppCursorLeft: PlaceCaret(col - p(1), row); break;
    case ecCursorRight:
    case ecAppCursorRight: PlaceCaret(col + p(1), row); break;
    case ecCursorHome:
    case ecCursorMove: PlaceCaret(p(2), p(1)); break;
    case ecReverseLineFeed: ReverseLineFeed(); break;
    case ecEraseLineFrom: buffer_.EraseToEndOfLine(caretColumn_, caretRow_); break;
    case ecEraseScreenFrom: buffer_.EraseToEndOfScreen(caretColumn_, caretRow_); break;
    case ecEraseLine:
        buffer_.EraseToEndOfLine(1, caretRow_);
        PlaceCaret(1, caretRow_);
        break;
    case ecEraseScreen:
        buffer_.EraseToEndOfScreen(1, 1);
        PlaceCaret(1, 1);
        break;
    case ecSetTab: buffer_.SetTabStop(caretColumn_, true); break;
    case ecClearTab: buffer_.SetTabStop(caretColumn_, false); break;
    case ecClearAllTabs: buffer_.ClearTabStops(); break;
    case ecIdentify:
        params.assign(1, "2");
        ReplyEscapeCode(ecIdentResponse, &params);
        break;
    case ecQueryDevice: ReplyEscapeCode(ecReportDeviceOK, nullptr); break;
    case ecQueryCursorPos:
        params.assign({std::to_string(caretRow_), std::to_string(caretColumn_)});
        ReplyEscapeCode(ecReportCursorPos, &params);
        break;
    case ecAttributes: ApplyAttributes(params); break;
    case ecSetMode: ApplyMode(params, true); break;
    case ecResetMode: ApplyMode(params, false); break;
    case ecReset:
        params.assign(1, "0");
        ApplyAttributes(params);
        break;
    case ecSaveCaretAndAttr:
        savedColumn_ = caretColumn_;
        savedRow_ = caretRow_;
        savedAttr_ = attr_;
        break;
    case ecRestoreCaretAndAttr:
        PlaceCaret(savedColumn_, savedRow_);
        attr_ = savedAttr_;
        break;
    case ecSaveCaret:
        savedColumn_ = caretColumn_;
        savedRow_ = caretRow_;
        break;
    case ecRestoreCaret: PlaceCaret(savedColumn_, savedRow_); break;
    case ecTest:
        buffer_.Fill(TTermCell{'E', fontColor_, color_, false});
        host_->DisplayChanged();
        break;
    case ecUnknown:
    case ecNotCompleted:
    case ecIdentResponse:
    case ecReportDeviceOK:
    case ecReportDeviceFailure:
    case ecReportCursorPos: return false;
    }
    return true;
}

void TComTermModel::SendKeyChar(char ch)
{
    if (!host_->PortOpen())
        return;
    host_->WritePort(std::string(1, ch));
    if (LocalEcho) {
        EnsureGrid();
        OutputScope scope(host_);
        DisplayChar(static_cast<unsigned char>(ch));
    }
    if (ch == '\r' && SendLF)
        SendKeyChar('\n');
}

void TComTermModel::SendEscapeCode(TEscapeCode code, TParamList* params)
{
    if (!host_->PortOpen() || !decoder_)
        return;
    host_->WritePort(decoder_->EncodeCode(code, params));
    if (LocalEcho) {
        OutputScope scope(host_);
        TParamList none;
        ExecuteCode(code, params ? *params : none);
    }
}

void TComTermModel::ReplyEscapeCode(TEscapeCode code, TParamList* params)
{
    if (!host_->PortOpen() || !decoder_)
        return;
    host_->WritePort(decoder_->EncodeCode(code, params));
}

bool TComTermModel::CursorKey(TTermKey key)
{
    if (appCursorKeys_) {
        TEscapeCode code;
        switch (key) {
        case tkUp: code = ecAppCursorUp; break;
        case tkDown: code = ecAppCursorDown; break;
        case tkLeft: code = ecAppCursorLeft; break;
        case tkRight: code = ecAppCursorRight; break;
        default: return false;
        }
        SendEscapeCode(code, nullptr);
        return true;
    }
    TEscapeCode code = ecUnknown;
    switch (key) {
    case tkHome: code = ecCursorHome; break;
    case tkLeft: code = ecCursorLeft; break;
    case tkUp: code = ecCursorUp; break;
    case tkRight: code = ecCursorRight; break;
    case tkDown: code = ecCursorDown; break;
    }
    if (ArrowKeys == akTerminal) {
        SendEscapeCode(code, nullptr);
    } else {
        TParamList none;
        ExecuteCode(code, none);
    }
    return true;
}
