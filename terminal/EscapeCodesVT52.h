#pragma once
#include "EscapeCodes.h"

class TEscapeCodesVT52 : public TEscapeCodes {
public:
    TFeedResult FeedByte(unsigned char byte) override;
    std::string EncodeCode(TEscapeCode code, const TParamList* params) const override;

private:
    bool collecting_ = false;
};
