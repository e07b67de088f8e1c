#pragma once
// The terminal without its window: feeds received bytes through the decoder, carries out the
// codes on the screen buffer (caret, attributes, modes, save/restore), raises the character
// event, and produces the replies and key bytes for the port. The widget supplies a host that
// paints, owns the port link and forwards the events.
#include <memory>
#include <string>

#include "ComTermBuffer.h"
#include "EscapeCodes.h"
#include "TermTypes.h"

enum TTermKey { tkHome, tkLeft, tkUp, tkRight, tkDown };

struct TTermAttributes {
    TColor Foreground = 0;
    TColor Background = 0;
    bool Reverse = false;
    bool Bright = false;
    bool Underline = false;
};

class TTermModelHost {
public:
    virtual ~TTermModelHost() = default;

    // Screen. Cell coordinates are buffer coordinates, 1-based, inclusive.
    virtual void CellsChanged(int /*left*/, int /*top*/, int /*right*/, int /*bottom*/) {}
    virtual void ContentScrolled(int /*rows*/) {}
    virtual void DisplayChanged() {}   // the whole screen
    virtual void CaretMoved() {}
    virtual void GridResized() {}      // Columns or Rows changed
    // Bracket every batch of output (the caret is hidden meanwhile). EndOutput runs also when
    // a handler throws.
    virtual void BeginOutput() {}
    virtual void EndOutput() {}

    // Port.
    virtual bool PortOpen() const { return false; }
    virtual void WritePort(const std::string& /*bytes*/) {}

    // Events.
    virtual void FireChar(char /*ch*/) {}
    virtual void FireStrReceived(std::string& /*text*/) {}
    virtual void FireUnhandledCode(TEscapeCode /*code*/, const std::string& /*data*/) {}
    // With no decoder of its own (teNone) the host may supply one; the model then owns it.
    virtual void FireGetEscapeCodes(TEscapeCodes*& /*codes*/) {}
};

class TComTermModel : private TTermScreen {
public:
    static constexpr int MinColumns = 2, MaxColumns = 256, MinRows = 2, MaxRows = 100;

    explicit TComTermModel(TTermModelHost* host = nullptr);
    ~TComTermModel() override;

    void SetHost(TTermModelHost* host) { host_ = host ? host : &nullHost_; }

    // Between these the size and emulation setters only store their values.
    void BeginLoading() { loading_ = true; }
    void Loaded();
    bool Loading() const { return loading_; }

    int Columns() const override { return columns_; }
    int Rows() const override { return rows_; }
    void SetColumns(int value);
    void SetRows(int value);

    TTermEmulation Emulation() const { return emulation_; }
    void SetEmulation(TTermEmulation value);
    TEscapeCodes* Decoder() const { return decoder_.get(); }

    bool WrapLines = false;
    bool AppendLF = false;
    bool Force7Bit = false;
    bool LocalEcho = false;
    bool SendLF = false;
    TArrowKeys ArrowKeys = akTerminal;
    TColor AltColor = 0xA6A6A6;

    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor value);   // also the current foreground
    TColor Color() const { return color_; }
    void SetColor(TColor value);       // also the current background

    int CaretColumn() const { return caretColumn_; }
    int CaretRow() const { return caretRow_; }
    int SavedCaretColumn() const { return savedColumn_; }
    int SavedCaretRow() const { return savedRow_; }
    const TTermAttributes& Attributes() const { return attr_; }
    bool ApplicationCursorKeys() const { return appCursorKeys_; }

    TComTermBuffer& Buffer() { return buffer_; }
    const TComTermBuffer& Buffer() const { return buffer_; }

    void ClearDisplay();
    // One received chunk: AppendLF, Force7Bit, the received-text event, then display.
    void ProcessReceived(const char* data, int count);
    void DisplayText(const std::string& text) { DisplayBytes(text.data(), text.size()); }
    void DisplayBytes(const char* data, std::size_t count);
    void DisplayChar(unsigned char ch);

    bool ExecuteCode(TEscapeCode code, TParamList& params);
    // Clamped to the grid; wide arithmetic so that huge parameters cannot overflow.
    void PlaceCaret(long long column, long long row);

    // Keyboard and replies; nothing goes out unless the host's port is open.
    void SendKeyChar(char ch);
    void SendEscapeCode(TEscapeCode code, TParamList* params);
    void ReplyEscapeCode(TEscapeCode code, TParamList* params);
    // A cursor key; returns whether the key was used.
    bool CursorKey(TTermKey key);

    // The cell a printable byte gets with the current attributes.
    TTermCell MakeCell(unsigned char ch) const;

private:
    void InvalidateCells(int left, int top, int right, int bottom) override
    {
        host_->CellsChanged(left, top, right, bottom);
    }
    void ScrollScreen(int rows) override { host_->ContentScrolled(rows); }

    void CreateDecoder();
    void EnsureGrid();
    void Reallocate();
    void ClampCarets();
    void ResetAttributes();
    void ApplyAttributes(const TParamList& params);
    void ApplyMode(const TParamList& params, bool on);
    void LineFeed();
    void ReverseLineFeed();

    TTermModelHost nullHost_;
    TTermModelHost* host_;
    TComTermBuffer buffer_;
    std::unique_ptr<TEscapeCodes> decoder_;
    TTermEmulation emulation_ = teVT100orANSI;
    bool loading_ = false;
    int columns_ = 80;
    int rows_ = 24;
    int caretColumn_ = 1, caretRow_ = 1;
    int savedColumn_ = 0, savedRow_ = 0;
    TColor fontColor_ = 0xFFFFFF;
    TColor color_ = 0x000000;
    TTermAttributes attr_;
    TTermAttributes savedAttr_;
    bool appCursorKeys_ = false;
};
