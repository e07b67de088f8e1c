#include "EscapeCodesVT52.h"

TFeedResult TEscapeCodesVT52::FeedSequence(unsigned char byte)
{
    if (!collecting_) {
        StartSequence();
        collecting_ = true;
        return frNeedMore;
    }

    CollectByte(byte);
    TEscapeCode code;
    switch (data_[0]) {
    case 'A': code = ecCursorUp; break;
    case 'B': code = ecCursorDown; break;
    case 'C': code = ecCursorRight; break;
    case 'D': code = ecCursorLeft; break;
    case 'H': code = ecCursorHome; break;
    case 'I': code = ecReverseLineFeed; break;
    case 'J': code = ecEraseScreenFrom; break;
    case 'K': code = ecEraseLineFrom; break;
    case 'Z': code = ecIdentify; break;
    case '/':
        if (data_.size() < 2)
            return frNeedMore;
        code = data_[1] == 'Z' ? ecIdentResponse : ecUnknown;
        break;
    case 'Y':
        if (data_.size() < 3)
            return frNeedMore;
        params_.clear();
        params_.push_back(std::to_string(static_cast<unsigned char>(data_[1]) - 31));
        params_.push_back(std::to_string(static_cast<unsigned char>(data_[2]) - 31));
        code = ecCursorMove;
        break;
    default: code = ecUnknown; break;
    }
    code_ = code;
    collecting_ = false;
    return frCodeReady;
}

std::string TEscapeCodesVT52::EncodeCode(TEscapeCode code, const TParamList* params) const
{
    switch (code) {
    case ecCursorUp: return Esc("A");
    case ecCursorDown: return Esc("B");
    case ecCursorLeft: return Esc("D");
    case ecCursorRight: return Esc("C");
    case ecCursorHome: return Esc("H");
    case ecCursorMove: {
        std::string s = Esc("Y");
        s += static_cast<char>(ParamValue(1, params) + 31);
        s += static_cast<char>(ParamValue(2, params) + 31);
        return s;
    }
    case ecReverseLineFeed: return Esc("I");
    case ecEraseLineFrom: return Esc("K");
    case ecEraseScreenFrom: return Esc("J");
    case ecIdentify: return Esc("Z");
    case ecIdentResponse: return Esc("/Z");
    default: return std::string();
    }
}
