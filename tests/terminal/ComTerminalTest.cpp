#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QtMath>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>
#include <memory>
#include <stdexcept>
#include <string>

#include "ComPort.h"
#include "ComTerminal.h"
#include "PaintCounter.h"
#include "PtyPair.h"
#include "TestApplication.h"
#include "WaitFor.h"

namespace {

const std::string E = "\x1b";

QColor Win(TColor c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// The console's terminal: a port on a pseudo-terminal, the terminal linked to it, the system's
// settings applied while loading.
class Terminal : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = std::make_unique<TComPort>();
        port->SetPort(QString::fromStdString(pty.SlavePath()));
        term = std::make_unique<TComTerminal>();
        term->BeginLoading();
        term->SetColor(0x000000);
        term->SetTermFont(QFont(QStringLiteral("Fixedsys"), 9), 0xFFFFFF);
        term->SetComPort(port.get());
        term->SetEmulation(teVT100orANSI);
        term->SetScrollBars(ssVertical);
        term->SetSmoothScroll(true);
        term->SetWrapLines(true);
        term->Loaded();
        term->setGeometry(8, 24, 593, 313);
        term->OnChar = [this](TCustomComTerminal* sender, char ch) {
            EXPECT_EQ(sender, term.get());
            chars.push_back(ch);
        };
        port->SetConnected(true);
    }
    void TearDown() override
    {
        term.reset();
        port.reset();
        TestErrors();
    }
    static void TestErrors()
    {
        // Exceptions escaping delivery would be recorded by the test application.
        QCoreApplication::processEvents();
    }

    // Reads from the pty while the event loop delivers what the terminal receives.
    std::string ReadSpinning(std::size_t count, int ms = 2000)
    {
        std::string got;
        WaitFor(
            [&] {
                got += pty.Drain(0, 5);
                return got.size() >= count;
            },
            ms);
        return got;
    }

    char Symbol(int c, int r) const { return static_cast<char>(term->Buffer().GetCell(c, r).Symbol); }
    void Key(int key, const QString& text = QString())
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(term.get(), &press);
    }

    PtyPair pty;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TComTerminal> term;
    std::string chars;
};

TEST_F(Terminal, ReceivedBytesLandInCellsAndRaiseOnCharInOrder)
{
    pty.Write("AB\r\nC");
    ASSERT_TRUE(WaitFor([&] { return chars.size() >= 5; }));
    EXPECT_EQ(chars, "AB\r\nC");
    EXPECT_EQ(Symbol(1, 1), 'A');
    EXPECT_EQ(Symbol(2, 1), 'B');
    EXPECT_EQ(Symbol(1, 2), 'C');
    EXPECT_EQ(term->CaretColumn(), 2);
    EXPECT_EQ(term->CaretRow(), 2);

    // ESC [2J empties the grid and raises nothing; the next byte shows at (1, 1).
    chars.clear();
    pty.Write(E + "[2J");
    pty.Write("Z");
    ASSERT_TRUE(WaitFor([&] { return !chars.empty(); }));
    Spin(30);
    EXPECT_EQ(chars, "Z");
    EXPECT_EQ(Symbol(1, 1), 'Z');
    EXPECT_EQ(Symbol(2, 1), 0);
    EXPECT_EQ(Symbol(1, 2), 0);
}

TEST_F(Terminal, AnswersStatusIdentityAndPositionRequestsThroughThePort)
{
    pty.Write(E + "[5n");
    EXPECT_EQ(ReadSpinning(4), E + "[0n");
    pty.Write(E + "[3;7H" + E + "[6n");
    EXPECT_EQ(ReadSpinning(6), E + "[3;7R");
    pty.Write(E + "[c");
    EXPECT_EQ(ReadSpinning(7), E + "[?1;2c");
    EXPECT_TRUE(chars.empty());

    // The port closed: the request is still decoded, the reply is dropped.
    port->SetConnected(false);
    term->DisplayText(E + "[5n");
    EXPECT_EQ(pty.Drain(50, 200), "");
}

TEST_F(Terminal, WrapScrollAnd132Columns)
{
    // Wrap on (the system's setting): the 81st character goes to the next row.
    pty.Write(std::string(80, 'a') + "b");
    ASSERT_TRUE(WaitFor([&] { return chars.size() >= 81; }));
    EXPECT_EQ(Symbol(1, 2), 'b');

    // Wrap off: everything after the 80th overwrites column 80.
    term->SetWrapLines(false);
    term->ClearDisplay();
    term->DisplayText(std::string(80, 'a') + "bc");
    EXPECT_EQ(Symbol(80, 1), 'c');
    EXPECT_EQ(Symbol(1, 2), 0);

    // LF on the last row scrolls the content up.
    chars.clear();
    pty.Write("top" + E + "[24;5Hbottom\n");
    ASSERT_TRUE(WaitFor([&] { return chars.size() >= 10; }));
    EXPECT_EQ(Symbol(5, 23), 'b');
    EXPECT_EQ(Symbol(1, 1), 0);
    EXPECT_EQ(term->CaretRow(), 24);
    EXPECT_EQ(term->CaretColumn(), 11);

    // 132 columns re-allocates (and clears); back to 80 clears again.
    pty.Write(E + "[?3h");
    ASSERT_TRUE(WaitFor([&] { return term->Columns() == 132; }));
    EXPECT_EQ(term->Buffer().Columns(), 132);
    EXPECT_EQ(Symbol(5, 22), 0);
    term->DisplayText(E + "[1;132Hx");
    EXPECT_EQ(Symbol(132, 1), 'x');
    pty.Write(E + "[?3l");
    ASSERT_TRUE(WaitFor([&] { return term->Columns() == 80; }));
    EXPECT_EQ(term->CaretColumn(), 80);
    term->DisplayText("y");
    EXPECT_EQ(Symbol(80, 1), 'y');
}

TEST_F(Terminal, TypedKeysGoToThePortOnlyWhenItIsOpen)
{
    term->show();
    Key(Qt::Key_A, "a");
    EXPECT_EQ(pty.Read(1, 2000), "a");
    EXPECT_EQ(Symbol(1, 1), 0);   // no local echo
    Key(Qt::Key_Up);
    EXPECT_EQ(pty.Read(3, 2000), E + "[A");
    Key(Qt::Key_Return, "\r");
    EXPECT_EQ(pty.Read(1, 2000), "\r");
    // Polish letters go out in the controller's code page.
    Key(Qt::Key_unknown, QString::fromUtf8("ą"));
    EXPECT_EQ(pty.Read(1, 2000), "\xB9");
    // A character the code page cannot hold is left out, never sent as a stand-in byte.
    Key(Qt::Key_unknown, QString::fromUtf8("\u4e2d\u015b"));
    EXPECT_EQ(pty.Drain(50, 500), "\x9C");

    term->SetSendLF(true);
    term->SetLocalEcho(true);
    Key(Qt::Key_Return, "\r");
    EXPECT_EQ(pty.Read(2, 2000), "\r\n");
    EXPECT_EQ(chars, "\r\n");

    port->SetConnected(false);
    chars.clear();
    Key(Qt::Key_B, "b");
    Key(Qt::Key_Down);
    EXPECT_FALSE(term->Connected());
    EXPECT_EQ(pty.Drain(50, 200), "");
    EXPECT_TRUE(chars.empty());
    EXPECT_EQ(Symbol(1, 3), 0);

    // Connected writes through to the port.
    term->SetConnected(true);
    EXPECT_TRUE(port->Connected());
}

TEST_F(Terminal, PortLinkFollowsThePort)
{
    EXPECT_EQ(term->ComPort(), port.get());
    TComPort other;
    term->SetComPort(&other);
    pty.Write("x");
    Spin(100);
    EXPECT_TRUE(chars.empty());   // detached from the first port
    // Attaching to the same port twice would be refused by the port: setting it again is a no-op.
    term->SetComPort(&other);
    term->SetComPort(port.get());
    pty.Write("y");
    ASSERT_TRUE(WaitFor([&] { return chars.size() >= 2; }));
    // The port leaves data queued while no link takes it; it arrives once linked again.
    EXPECT_EQ(chars, "xy");

    auto temp = std::make_unique<TComPort>();
    term->SetComPort(temp.get());
    temp.reset();
    EXPECT_EQ(term->ComPort(), nullptr);
    EXPECT_FALSE(term->Connected());
}

TEST_F(Terminal, PaintsCellsFromTheBufferInTheControllersCodePage)
{
    EXPECT_EQ(TCustomComTerminal::DisplayCharOf(0xB9), QChar(0x0105));   // ą
    EXPECT_EQ(TCustomComTerminal::DisplayCharOf(0x8C), QChar(0x015A));   // Ś
    EXPECT_EQ(TCustomComTerminal::DisplayCharOf('A'), QChar('A'));
    term->DisplayText("\xB9");
    EXPECT_EQ(static_cast<unsigned char>(Symbol(1, 1)), 0xB9);   // the cell keeps the byte

    EXPECT_TRUE(TCustomComTerminal::IsFixedPitch(term->TermFont()));
    EXPECT_FALSE(TCustomComTerminal::IsFixedPitch(QFont(QStringLiteral("DejaVu Sans"), 10)));
    term->SetTermFont(QFont(QStringLiteral("DejaVu Sans"), 10), 0xFFFFFF);
    EXPECT_TRUE(TCustomComTerminal::IsFixedPitch(term->TermFont()));
    EXPECT_EQ(term->CellWidth(), qCeil(QFontMetricsF(term->TermFont()).horizontalAdvance('M') - 0.001));

    term->ClearDisplay();
    term->show();
    term->DisplayText("M" + E + "[41m " + E + "[0m" + E + "[2;1H" + E + "[4m_");
    Spin(50);
    const QImage img = term->grab().toImage();
    const QRect client = term->ClientArea();
    const int cw = term->CellWidth(), ch = term->CellHeight();
    auto cellPixels = [&](int c, int r, const QColor& colour) {
        int n = 0;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                n += img.pixelColor(client.left() + (c - 1) * cw + x, client.top() + (r - 1) * ch + y) == colour;
        return n;
    };
    EXPECT_GT(cellPixels(1, 1, Win(0xFFFFFF)), 0);        // a white glyph
    EXPECT_EQ(cellPixels(2, 1, Win(0x0000FF)), cw * ch);  // a space on red
    EXPECT_EQ(cellPixels(3, 1, Win(0x000000)), cw * ch);  // empty: the control's colour
    EXPECT_GT(cellPixels(1, 2, Win(0xFFFFFF)), 0);
}

// What is on the surface after the incremental updates (single cells, moved pixels) must be
// what a full repaint gives.
TEST_F(Terminal, IncrementalUpdatesMatchAFullRepaint)
{
    term->show();
    term->setFocus();
    QApplication::setActiveWindow(term.get());
    ASSERT_TRUE(WaitFor([&] { return term->isVisible(); }));
    // Characters drawn one by one with the screen settled in between, then a scroll with the
    // surface up to date (pixels move), then scrolls with repaints still queued, then erasing.
    for (int i = 0; i < 23; ++i) {
        term->DisplayText("line " + std::to_string(i) + E + "[3" + std::to_string(i % 8) + "m colour\r\n");
        Spin(5);
    }
    for (int i = 0; i < 12; ++i) {
        term->DisplayText("more " + std::to_string(i) + "\r\n");
        Spin(5);
    }
    for (int i = 0; i < 30; ++i)
        term->DisplayText("burst " + std::to_string(i) + "\r\n");
    Spin(20);
    term->DisplayText(E + "[5;5H" + E + "[K" + E + "[10;1H" + E + "[J");
    Spin(20);
    term->DisplayText(E + "[24;1H\n");
    Spin(20);
    term->DisplayText(E + "[12;30Hsingle cells");
    Spin(100);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QImage onSurface = screen->grabWindow(term->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage repainted = term->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (onSurface.size() != repainted.size())
        GTEST_SKIP() << "the platform does not grab the window surface";
    const QRect client = term->ClientArea();
    int differing = 0;
    for (int y = client.top(); y <= client.bottom(); ++y)
        for (int x = client.left(); x <= client.right(); ++x)
            differing += onSurface.pixel(x, y) != repainted.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

// Output arriving at about the frame rate, as the port's batches of a steady 9600 bit/s stream
// do, is painted as it arrives, once per arrival: no second wake-up for a frame timer, and the
// caret's and cells' changes of one batch land in the same frame.
TEST_F(Terminal, OutputAtTheFrameRateIsPaintedOnArrivalOncePerBatch)
{
    PaintCounter counter;
    term->show();
    term->setFocus();
    QApplication::setActiveWindow(term.get());
    ASSERT_TRUE(WaitFor([&] { return term->isVisible(); }));
    Spin(100);
    term->installEventFilter(&counter);
    const int batches = 8;
    int paintedAtOnce = 0;
    for (int i = 0; i < batches; ++i) {
        Spin(30);   // a little less than a frame since the last one
        const int before = counter.paints;
        term->DisplayText("batch " + std::to_string(i) + E + "[1m bold" + E + "[0m\r\n");
        QCoreApplication::processEvents();   // no waiting: what is due now is painted now
        paintedAtOnce += counter.paints > before;
    }
    Spin(100);
    EXPECT_EQ(paintedAtOnce, batches);
    EXPECT_EQ(counter.paints, batches) << "extra frames after the batches";
    term->removeEventFilter(&counter);
}

TEST_F(Terminal, CaretIsDrawnOnlyWithFocusInItsShape)
{
    term->show();
    EXPECT_FALSE(term->CaretExists());
    term->setFocus();
    QApplication::setActiveWindow(term.get());
    if (!WaitFor([&] { return term->hasFocus(); }, 1000))
        GTEST_SKIP() << "no focus on this platform";
    EXPECT_TRUE(term->CaretExists());
    term->DisplayText(E + "[2;3H");
    Spin(50);
    const QRect client = term->ClientArea();
    const int cw = term->CellWidth(), ch = term->CellHeight();
    QImage img = term->grab().toImage();
    EXPECT_EQ(img.pixelColor(client.left() + 2 * cw + cw / 2, client.top() + ch + 1), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(client.left() + 2 * cw + cw / 2, client.top() + ch * 2 + 1), QColor(Qt::black));

    term->SetCaret(tcUnderline);
    img = term->grab().toImage();
    EXPECT_EQ(img.pixelColor(client.left() + 2 * cw + cw / 2, client.top() + ch + 1), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(client.left() + 2 * cw + cw / 2, client.top() + 2 * ch - 1), QColor(Qt::white));

    term->SetCaret(tcNone);
    EXPECT_FALSE(term->CaretExists());
    term->SetCaret(tcBlock);
    term->clearFocus();
    EXPECT_FALSE(term->CaretExists());
    img = term->grab().toImage();
    EXPECT_EQ(img.pixelColor(client.left() + 2 * cw + cw / 2, client.top() + ch + 1), QColor(Qt::black));
}

TEST_F(Terminal, VerticalScrollBarMovesTheView)
{
    term->show();
    term->resize(593, 10 * term->CellHeight() + 4);
    Spin(50);
    QScrollBar* bar = term->VerticalBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 24 - 10);
    EXPECT_FALSE(term->HorizontalBar()->isVisible());
    term->DisplayText(E + "[15;1Hfifteen");
    bar->setValue(14);
    EXPECT_EQ(term->ViewRow(), 15);
    Spin(50);
    const QImage img = term->grab().toImage();
    const QRect client = term->ClientArea();
    int white = 0;
    for (int y = 0; y < term->CellHeight(); ++y)
        for (int x = 0; x < 7 * term->CellWidth(); ++x)
            white += img.pixelColor(client.left() + x, client.top() + y) == QColor(Qt::white);
    EXPECT_GT(white, 0);   // row 15 is at the top

    // Both bars, and the view follows a larger grid.
    term->SetScrollBars(ssBoth);
    term->SetColumns(200);
    EXPECT_TRUE(term->HorizontalBar()->isVisible());
    EXPECT_EQ(term->HorizontalBar()->maximum(), 200 - term->ClientArea().width() / term->CellWidth());
    term->SetScrollBars(ssNone);
    EXPECT_FALSE(term->VerticalBar()->isVisible());
    EXPECT_EQ(term->ViewRow(), 1);
}

TEST_F(Terminal, SmoothScrollFollowsTheThumbWhileDragged)
{
    term->show();
    term->resize(593, 10 * term->CellHeight() + 4);
    QScrollBar* bar = term->VerticalBar();
    for (bool smooth : {true, false}) {
        term->SetSmoothScroll(smooth);
        bar->setValue(0);
        bar->setSliderDown(true);
        bar->setSliderPosition(5);
        EXPECT_EQ(term->ViewRow(), smooth ? 6 : 1) << "smooth " << smooth;
        bar->setSliderDown(false);
        EXPECT_EQ(term->ViewRow(), 6) << "smooth " << smooth;
    }
    // Line and page steps.
    bar->setValue(0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(term->ViewRow(), 2);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(term->ViewRow(), 2 + (term->ClientArea().height() / term->CellHeight()));
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(term->ViewRow(), 24 - term->ClientArea().height() / term->CellHeight() + 1);
}

// A handler that throws ends the chunk; the exception goes on to the port's delivery.
TEST_F(Terminal, ExceptionFromOnCharEndsTheChunk)
{
    term->OnChar = [this](TCustomComTerminal*, char ch) {
        chars.push_back(ch);
        if (ch == '!')
            throw std::runtime_error("handler failed");
    };
    TestApplication::TakeReportedErrors();
    pty.Write("ab!cd");
    ASSERT_TRUE(WaitFor([&] { return chars.find('!') != std::string::npos; }));
    Spin(100);
    EXPECT_EQ(Symbol(3, 1), '!');
    EXPECT_EQ(Symbol(4, 1), 0);
    EXPECT_EQ(chars.find('c'), std::string::npos);
    EXPECT_TRUE(TestApplication::TakeReportedErrors().contains(QStringLiteral("handler failed")));
    // The next chunk is received normally.
    pty.Write("e");
    ASSERT_TRUE(WaitFor([&] { return chars.back() == 'e'; }));
    EXPECT_EQ(Symbol(4, 1), 'e');
}

TEST_F(Terminal, UnhandledCodesAndReceivedTextEvents)
{
    std::vector<std::pair<TEscapeCode, std::string>> unhandled;
    term->OnUnhandledCode = [&](TCustomComTerminal*, TEscapeCode code, const std::string& data) {
        unhandled.emplace_back(code, data);
    };
    term->OnStrRecieved = [](TCustomComTerminal*, std::string& s) {
        for (char& c : s)
            if (c == 'q')
                c = 'Q';
    };
    pty.Write(E + "x" + "q");
    ASSERT_TRUE(WaitFor([&] { return !chars.empty(); }));
    EXPECT_EQ(chars, "Q");
    ASSERT_EQ(unhandled.size(), 1u);
    EXPECT_EQ(unhandled[0].first, ecUnknown);
    EXPECT_EQ(unhandled[0].second, "x");
}

}  // namespace
