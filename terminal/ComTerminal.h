#pragma once
// CONTRACT HEADER. The declarations below are used by the console; their names and signatures
// are fixed. The terminal subsystem adds everything else and the implementation.
#include <QFont>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class TCustomComPort;

using TColor = std::uint32_t;   // Windows colour value 0x00BBGGRR

enum TTermEmulation { teVT100orANSI, teVT52, teNone };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TTermCaret { tcBlock, tcUnderline, tcNone };

class TCustomComTerminal : public QWidget {
    Q_OBJECT
public:
    using TChScreenEvent = std::function<void(TCustomComTerminal* sender, char ch)>;

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
};

class TComTerminal : public TCustomComTerminal {
    Q_OBJECT
public:
    using TCustomComTerminal::TCustomComTerminal;
};
