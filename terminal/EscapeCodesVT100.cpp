#include "EscapeCodesVT100.h"

// A byte that completes a bracket sequence, or any byte of a short one.
TFeedResult TEscapeCodesVT100::FeedSequence(unsigned char byte)
{
    TEscapeCode code;
    if (bracket_) {
        CollectFinalByte(byte);
        code = ClassifyBracket();
    } else {
        CollectByte(byte);
        code = ClassifyShort();
        if (code == ecNotCompleted)
            return frNeedMore;
    }
    code_ = code;
    collecting_ = false;
    bracket_ = false;
    return frCodeReady;
}

TEscapeCode TEscapeCodesVT100::ClassifyShort() const
{
    if (data_.size() == 1) {
        switch (data_[0]) {
        case '#':
        case 'O': return ecNotCompleted;
        case '7': return ecSaveCaretAndAttr;
        case '8': return ecRestoreCaretAndAttr;
        case 'H': return ecSetTab;
        case 'c': return ecReset;
        default: return ecUnknown;
        }
    }
    if (data_ == "#8") return ecTest;
    if (data_ == "OA") return ecAppCursorUp;
    if (data_ == "OB") return ecAppCursorDown;
    if (data_ == "OC") return ecAppCursorRight;
    if (data_ == "OD") return ecAppCursorLeft;
    return ecUnknown;
}

// Parameters are split at every ';'. An empty parameter (leading ';' or ";;") is kept as an
// empty text, which stands for the default of its position; a trailing ';' adds nothing.
void TEscapeCodesVT100::SplitParams()
{
    params_.clear();
    // data_ is '[' params... final; the final byte is always the last one kept.
    const std::size_t end = data_.size() - 1;
    if (end <= 1)
        return;
    std::size_t start = 1;
    for (std::size_t i = 1; i <= end; ++i) {
        if (i == end || data_[i] == ';') {
            if (params_.size() >= MaxParams)
                return;
            if (i > start || i < end)
                params_.emplace_back(data_, start, i - start);
            start = i + 1;
        }
    }
}

TEscapeCode TEscapeCodesVT100::ClassifyBracket()
{
    const unsigned char final = static_cast<unsigned char>(data_.back());
    TEscapeCode code;
    // These read only the first character of the first parameter and keep no parameters,
    // so the text is not split for them.
    if (final == 'J' || final == 'K' || final == 'g' || final == 'n') {
        params_.clear();
        const char first = data_.size() > 2 && data_[1] != ';' ? data_[1] : '\0';
        switch (final) {
        case 'J':
            code = first == '\0' || first == '0' ? ecEraseScreenFrom
                 : first == '2'                   ? ecEraseScreen
                                                  : ecUnknown;
            break;
        case 'K':
            code = first == '\0' || first == '0' ? ecEraseLineFrom
                 : first == '2'                   ? ecEraseLine
                                                  : ecUnknown;
            break;
        case 'g':
            code = first == '\0' || first == '0' ? ecClearTab
                 : first == '3'                   ? ecClearAllTabs
                                                  : ecUnknown;
            break;
        default:
            code = first == '5' ? ecQueryDevice
                 : first == '0' ? ecReportDeviceOK
                 : first == '3' ? ecReportDeviceFailure
                 : first == '6' ? ecQueryCursorPos
                                : ecUnknown;
            break;
        }
        return code;
    }

    SplitParams();
    // The true count, also when the text was cut short; a trailing ';' adds no parameter.
    const std::size_t count = data_.size() > 2 ? separators_ + 1 - endsWithSeparator_ : 0;
    switch (final) {
    case 'A': return ecCursorUp;
    case 'B': return ecCursorDown;
    case 'C': return ecCursorRight;
    case 'D': return ecCursorLeft;
    case 'H': return ecCursorHome;
    case 'f': return ecCursorMove;
    case 'R': return ecReportCursorPos;
    case 'm': return ecAttributes;
    case 'h': return ecSetMode;
    case 'l': return ecResetMode;
    case 's': return ecSaveCaret;
    case 'u': return ecRestoreCaret;
    case 'c':
        if (count == 0 || (count == 1 && params_[0] == "0"))
            return ecIdentify;
        if (count == 2 && params_[0] == "?1")
            return ecIdentResponse;
        return ecUnknown;
    default: return ecUnknown;
    }
}

std::string TEscapeCodesVT100::EncodeCode(TEscapeCode code, const TParamList* params) const
{
    auto p = [params](int n) { return std::to_string(ParamValue(n, params)); };
    switch (code) {
    case ecCursorUp: return Esc("[A");
    case ecCursorDown: return Esc("[B");
    case ecCursorRight: return Esc("[C");
    case ecCursorLeft: return Esc("[D");
    case ecCursorHome: return Esc("[H");
    case ecCursorMove: return Esc("[") + p(1) + ";" + p(2) + "f";
    case ecAppCursorLeft: return Esc("OD");
    case ecAppCursorRight: return Esc("OC");
    case ecAppCursorUp: return Esc("OA");
    case ecAppCursorDown: return Esc("OB");
    case ecEraseLineFrom: return Esc("[K");
    case ecEraseScreenFrom: return Esc("[J");
    case ecEraseLine: return Esc("[2K");
    case ecEraseScreen: return Esc("[2J");
    case ecSetTab: return Esc("H");
    case ecClearTab: return Esc("[g");
    case ecClearAllTabs: return Esc("[3g");
    case ecIdentify: return Esc("[c");
    case ecIdentResponse: return Esc("[?1;") + p(1) + "c";
    case ecQueryDevice: return Esc("[5n");
    case ecReportDeviceOK: return Esc("[0n");
    case ecReportDeviceFailure: return Esc("[3n");
    case ecQueryCursorPos: return Esc("[6n");
    case ecReportCursorPos: return Esc("[") + p(1) + ";" + p(2) + "R";
    case ecAttributes: return Esc("[m");
    case ecSetMode: return Esc("[h");
    case ecResetMode: return Esc("[l");
    case ecReset: return Esc("c");
    case ecSaveCaretAndAttr: return Esc("7");
    case ecRestoreCaretAndAttr: return Esc("8");
    case ecSaveCaret: return Esc("[s");
    case ecRestoreCaret: return Esc("[u");
    case ecTest: return Esc("#8");
    case ecUnknown:
    case ecNotCompleted:
    case ecReverseLineFeed: break;
    }
    return std::string();
}
