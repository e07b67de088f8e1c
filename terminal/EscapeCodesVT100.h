#pragma once
#include "EscapeCodes.h"

// VT100 / ANSI: short sequences (ESC + one or two bytes) and bracket sequences
// (ESC '[' parameters final-letter).
class TEscapeCodesVT100 final : public TEscapeCodes {
public:
    TEscapeCodesVT100() { escapeOnly_ = true; }
    TFeedResult FeedByte(unsigned char byte) override
    {
        if (TakePlain(byte))
            return frPlainChar;
        // The common steps are kept here: ESC, the '[' after it, and the bytes of a bracket
        // sequence up to its final letter, which are only collected.
        if (!collecting_) {
            StartSequence();
            collecting_ = true;
            bracket_ = false;
            separators_ = 0;
            endsWithSeparator_ = false;
            return frNeedMore;
        }
        if (bracket_) {
            if (!((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z')) {
                endsWithSeparator_ = byte == ';';
                separators_ += endsWithSeparator_;
                CollectByte(byte);
                return frNeedMore;
            }
        } else if (byte == '[' && data_.empty()) {
            CollectByte(byte);
            bracket_ = true;
            return frNeedMore;
        }
        return FeedSequence(byte);
    }
    std::string EncodeCode(TEscapeCode code, const TParamList* params) const override;

private:
    TFeedResult FeedSequence(unsigned char byte);
    TEscapeCode ClassifyShort() const;
    TEscapeCode ClassifyBracket();
    void SplitParams();

    bool bracket_ = false;
    // Counted while collecting so that the count stays right even when the text was cut.
    std::size_t separators_ = 0;
    bool endsWithSeparator_ = false;
};
