#pragma once
// Escape-sequence decoders: byte in, plain character or escape code out; and the reverse
// direction, an escape code encoded as the bytes to send. No Qt, no I/O.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum TEscapeCode {
    ecUnknown, ecNotCompleted, ecCursorUp, ecCursorDown, ecCursorLeft, ecCursorRight,
    ecCursorHome, ecCursorMove, ecReverseLineFeed, ecAppCursorLeft, ecAppCursorRight,
    ecAppCursorUp, ecAppCursorDown, ecEraseLineFrom, ecEraseScreenFrom, ecEraseLine,
    ecEraseScreen, ecSetTab, ecClearTab, ecClearAllTabs, ecIdentify, ecIdentResponse,
    ecQueryDevice, ecReportDeviceOK, ecReportDeviceFailure, ecQueryCursorPos,
    ecReportCursorPos, ecAttributes, ecSetMode, ecResetMode, ecReset, ecSaveCaretAndAttr,
    ecRestoreCaretAndAttr, ecSaveCaret, ecRestoreCaret, ecTest
};

enum TFeedResult { frPlainChar, frCodeReady, frNeedMore };

using TParamList = std::vector<std::string>;

// Standard integer conversion: leading spaces, optional sign, decimal digits, or hexadecimal
// after '$', 'x', 'X', "0x", "0X"; the whole text must be used and fit 32 bits.
bool StrToInt32(const std::string& text, std::int32_t& value);

class TEscapeCodes {
public:
    // The controller's sequences are a few bytes long; these bounds only keep a runaway
    // sequence (ESC '[' and endless digits) from growing memory. Bytes past the bound are
    // consumed but not kept.
    static constexpr std::size_t MaxSequenceText = 256;
    static constexpr std::size_t MaxParams = 32;

    TEscapeCodes();
    virtual ~TEscapeCodes();
    TEscapeCodes(const TEscapeCodes&) = delete;
    TEscapeCodes& operator=(const TEscapeCodes&) = delete;

    virtual TFeedResult FeedByte(unsigned char byte) = 0;
    virtual std::string EncodeCode(TEscapeCode code, const TParamList* params) const = 0;

    // Parameter n (from 1) as a number; 1 when absent or not a number.
    static std::int32_t ParamValue(int n, const TParamList* params);

    // True when the byte is plain without further ado: the decoder is outside any sequence,
    // the byte is not ESC, and the decoder is one that passes every other byte while idle.
    // Lets a caller skip the per-byte call on ordinary text.
    bool TakePlain(unsigned char byte)
    {
        if (!escapeOnly_ || collecting_ || byte == 27)
            return false;
        character_ = static_cast<char>(byte);
        return true;
    }

    char Character() const { return character_; }
    TEscapeCode Code() const { return code_; }
    const std::string& Data() const { return data_; }   // bytes after ESC
    TParamList& Params() { return params_; }
    const TParamList& Params() const { return params_; }

protected:
    // ESC followed by `rest`, for encoding codes.
    static std::string Esc(const char* rest) { return std::string(1, '\x1b') + rest; }

    void StartSequence();
    // Keeps room for one final byte so a completed sequence always ends with its final byte.
    void CollectByte(unsigned char byte)
    {
        if (data_.size() + 1 < MaxSequenceText)
            data_.push_back(static_cast<char>(byte));
    }
    void CollectFinalByte(unsigned char byte) { data_.push_back(static_cast<char>(byte)); }

    // Set by decoders in which only ESC starts a sequence; collecting_ is their escape state.
    bool escapeOnly_ = false;
    bool collecting_ = false;
    char character_ = 0;
    TEscapeCode code_ = ecUnknown;
    std::string data_;
    TParamList params_;
};
