#pragma once
#include "EscapeCodes.h"

// VT100 / ANSI: short sequences (ESC + one or two bytes) and bracket sequences
// (ESC '[' parameters final-letter).
class TEscapeCodesVT100 : public TEscapeCodes {
public:
    TFeedResult FeedByte(unsigned char byte) override;
    std::string EncodeCode(TEscapeCode code, const TParamList* params) const override;

private:
    TEscapeCode ClassifyShort() const;
    TEscapeCode ClassifyBracket();
    void SplitParams();

    bool collecting_ = false;
    bool bracket_ = false;
    // Counted while collecting so that the count stays right even when the text was cut.
    std::size_t separators_ = 0;
};
