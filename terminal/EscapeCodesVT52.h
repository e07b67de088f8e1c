#pragma once
#include "EscapeCodes.h"

class TEscapeCodesVT52 final : public TEscapeCodes {
public:
    TEscapeCodesVT52() { escapeOnly_ = true; }
    TFeedResult FeedByte(unsigned char byte) override
    {
        if (TakePlain(byte))
            return frPlainChar;
        return FeedSequence(byte);
    }
    std::string EncodeCode(TEscapeCode code, const TParamList* params) const override;

private:
    TFeedResult FeedSequence(unsigned char byte);
};
