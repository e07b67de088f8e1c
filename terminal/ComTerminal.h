#pragma once
// The terminal control: shows the port's text through the terminal model, with caret,
// scrolling, painting and keyboard, and raises the character event the console parses.
#include <QChar>
#include <QFont>
#include <QRawFont>
#include <QMetaObject>
#include <QElapsedTimer>
#include <QRect>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ComTermModel.h"
#include "EscapeCodes.h"
#include "TermTypes.h"

class TCustomComPort;
class TComLink;
class QScrollBar;

// TColor, TTermEmulation, TScrollStyle and TTermCaret come from TermTypes.h.

class TCustomComTerminal : public QWidget, private TTermModelHost {
    Q_OBJECT
public:
    using TChScreenEvent = std::function<void(TCustomComTerminal* sender, char ch)>;
    using TStrRecvEvent = std::function<void(TCustomComTerminal* sender, std::string& str)>;
    using TUnhandledEvent =
        std::function<void(TCustomComTerminal* sender, TEscapeCode code, const std::string& data)>;
    using TEscapeEvent = std::function<void(TCustomComTerminal* sender, TEscapeCodes*& escapeCodes)>;

    explicit TCustomComTerminal(QWidget* parent = nullptr);
    ~TCustomComTerminal() override;

    // The owning window calls these around setting its design-time values.
    void BeginLoading();
    void Loaded();

    TCustomComPort* ComPort() const;
    void SetComPort(TCustomComPort* port);   // detaches from the old port, attaches to the new

    void SetEmulation(TTermEmulation value);
    void SetScrollBars(TScrollStyle value);
    void SetSmoothScroll(bool value);
    void SetWrapLines(bool value);
    void SetColor(TColor value);              // background
    void SetTermFont(const QFont& font, TColor color);   // fixed pitch; colour = default text

    // Empties the grid, caret to (1, 1), repaints; attributes, modes and decoder state stay.
    void ClearDisplay();
    // Processes bytes as received terminal output (nothing is written to the port).
    void DisplayText(const std::string& text);

    // Once for every plain character, after its screen action.
    TChScreenEvent OnChar;

    // --- the rest of the control ---
    TStrRecvEvent OnStrRecieved;
    TUnhandledEvent OnUnhandledCode;
    TEscapeEvent OnGetEscapeCodes;

    void DisplayBytes(const char* data, int count);
    // The link's received-data callback.
    void ProcessReceived(TCustomComPort* sender, const char* data, int count);
    void SendKeyChar(char ch);
    void SendEscapeCode(TEscapeCode code, TParamList* params);
    void ReplyEscapeCode(TEscapeCode code, TParamList* params);
    bool ExecuteCode(TEscapeCode code, TParamList& params);
    void PlaceCaret(int column, int row);

    bool Connected() const;
    void SetConnected(bool value);
    TTermEmulation Emulation() const { return model_.Emulation(); }
    int Columns() const { return model_.Columns(); }
    void SetColumns(int value) { model_.SetColumns(value); }
    int Rows() const { return model_.Rows(); }
    void SetRows(int value) { model_.SetRows(value); }
    TTermCaret Caret() const { return caret_; }
    void SetCaret(TTermCaret value);
    bool LocalEcho() const { return model_.LocalEcho; }
    void SetLocalEcho(bool value) { model_.LocalEcho = value; }
    bool SendLF() const { return model_.SendLF; }
    void SetSendLF(bool value) { model_.SendLF = value; }
    bool AppendLF() const { return model_.AppendLF; }
    void SetAppendLF(bool value) { model_.AppendLF = value; }
    bool Force7Bit() const { return model_.Force7Bit; }
    void SetForce7Bit(bool value) { model_.Force7Bit = value; }
    bool WrapLines() const { return model_.WrapLines; }
    bool SmoothScroll() const { return smoothScroll_; }
    TArrowKeys ArrowKeys() const { return model_.ArrowKeys; }
    void SetArrowKeys(TArrowKeys value) { model_.ArrowKeys = value; }
    bool WantTab() const { return wantTab_; }
    void SetWantTab(bool value) { wantTab_ = value; }
    TColor AltColor() const { return model_.AltColor; }
    void SetAltColor(TColor value) { model_.AltColor = value; }
    TScrollStyle ScrollBars() const { return scrollBars_; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    TColor Color() const { return model_.Color(); }
    QFont TermFont() const { return termFont_; }
    TColor FontColor() const { return model_.FontColor(); }

    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }
    int ViewColumn() const { return viewColumn_; }
    int ViewRow() const { return viewRow_; }
    int CaretColumn() const { return model_.CaretColumn(); }
    int CaretRow() const { return model_.CaretRow(); }
    // Whether the drawn caret currently exists (the control has the focus and a shape).
    bool CaretExists() const { return caretExists_; }
    // The area the cells are drawn in: inside the border, without the scroll bars.
    QRect ClientArea() const;
    QScrollBar* HorizontalBar() const { return hbar_; }
    QScrollBar* VerticalBar() const { return vbar_; }

    TComTermModel& Model() { return model_; }
    const TComTermBuffer& Buffer() const { return model_.Buffer(); }
    TEscapeCodes* Decoder() const { return model_.Decoder(); }
    TComLink* Link() const { return link_.get(); }

    // The character a cell's byte is shown as (the controller's code page).
    static QChar DisplayCharOf(unsigned char byte);
    // Every character as wide as every other, measured.
    static bool IsFixedPitch(const QFont& font);

protected:
    // Raise the events; the model calls these (they override its host's event slots).
    void FireChar(char ch) override;
    void FireStrReceived(std::string& str) override;
    void FireUnhandledCode(TEscapeCode code, const std::string& data) override;
    void FireGetEscapeCodes(TEscapeCodes*& escapeCodes) override;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // TTermModelHost
    void CellsChanged(int left, int top, int right, int bottom) override;
    void ContentScrolled(int rows) override;
    void DisplayChanged() override;
    void CaretMoved() override;
    void GridResized() override;
    void BeginOutput() override;
    void EndOutput() override;
    bool PortOpen() const override;
    void WritePort(const std::string& bytes) override;
    void ApplyFont(const QFont& font);
    void UpdateScrollBars();
    void LayoutScrollBars();
    void ApplyAutoSize();
    void BuildCaret();
    void DestroyCaret();
    QRect CaretRect() const;
    QRect CellRect(int left, int top, int right, int bottom) const;
    void OnScrollValue(bool vertical, int value);
    void ScrollPixels(int dx, int dy);
    int FrameWidth() const { return borderStyle_ == bsSingle ? 2 : 0; }

    TComTermModel model_;
    std::unique_ptr<TComLink> link_;
    TCustomComPort* port_ = nullptr;
    QMetaObject::Connection portDestroyed_;

    QFont termFont_;
    QFont drawFont_;        // termFont_ with glyph advances widened to the cell width
    QFont underlineFont_;
    QRawFont rawFont_;
    std::array<quint32, 256> glyphOf_{};   // the font's glyph for each byte, 0 = none
    int cellWidth_ = 8;
    int cellHeight_ = 16;
    int ascent_ = 12;
    bool runDrawing_ = false;   // glyph advance is exactly the cell width

    int viewColumn_ = 1;
    int viewRow_ = 1;
    TScrollStyle scrollBars_ = ssBoth;
    bool updatingBars_ = false;
    bool smoothScroll_ = false;
    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    TBorderStyle borderStyle_ = bsSingle;
    bool autoSize_ = false;
    bool wantTab_ = false;

    TTermCaret caret_ = tcBlock;
    int caretHeight_ = 0;
    bool caretExists_ = false;
    int outputDepth_ = 0;
    QRect drawnCaret_;         // where the caret was last painted, to erase it on a move
    bool updatePending_ = false;   // invalidated areas not painted yet

    // Received output repaints in frames: the first change after a quiet spell is painted at
    // once, later ones within the same frame are gathered into one repaint. At 9600 bit/s a
    // repaint per byte would cost more than everything else the byte causes.
    void Invalidate(const QRect& area);
    void FlushFrame();
    QRegion deferred_;
    QTimer frameTimer_;
    QElapsedTimer sinceFrame_;
    bool frameAsked_ = false;   // a frame was handed to update() and has not been painted yet
    // Within a batch of output, characters written side by side on one row grow one rectangle
    // instead of each going through the region arithmetic.
    QRect cellRun_;
    void FlushCellRun();
};

class TComTerminal : public TCustomComTerminal {
    Q_OBJECT
public:
    using TCustomComTerminal::TCustomComTerminal;
};
