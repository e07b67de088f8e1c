#include "ComTerminal.h"

#include "ErrorReport.h"

#include <QFocusEvent>
#include <QGlyphRun>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QtMath>
#include <qdrawutil.h>
#include <algorithm>
#include <array>

#include "ComLink.h"
#include "ComPort.h"
#include "Windows1250.h"

namespace {
QColor ToQColor(TColor c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

// Bytes 128..255 are the controller's code page, Windows-1250. Looked up per cell when painting.
const std::array<QChar, 256>& CodePageTable()
{
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<std::size_t>(i)] = Windows1250::ToUnicode(static_cast<unsigned char>(i));
        return t;
    }();
    return table;
}

QFont DefaultTermFont()
{
    // "Fixedsys" is a Windows font; the style hint lets the font system pick a fixed-pitch one.
    QFont font(QStringLiteral("Fixedsys"), 9);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
}  // namespace

QChar TCustomComTerminal::DisplayCharOf(unsigned char byte)
{
    return CodePageTable()[byte];
}

TCustomComTerminal::TCustomComTerminal(QWidget* parent)
    : QWidget(parent), link_(std::make_unique<TComLink>())
{
    model_.SetHost(this);
    link_->OnRxBuf = [this](TCustomComPort* sender, const char* data, int count) {
        ProcessReceived(sender, data, count);
    };

    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, &TCustomComTerminal::FlushFrame);

    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAutoFillBackground(true);
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    for (QScrollBar* bar : {hbar_, vbar_}) {
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setTracking(smoothScroll_);
        bar->hide();
    }
    connect(hbar_, &QScrollBar::valueChanged, this, [this](int v) { OnScrollValue(false, v); });
    connect(vbar_, &QScrollBar::valueChanged, this, [this](int v) { OnScrollValue(true, v); });

    SetColor(0x000000);
    SetTermFont(DefaultTermFont(), 0xFFFFFF);
    resize(400, 250);
}

TCustomComTerminal::~TCustomComTerminal()
{
    try {
        SetComPort(nullptr);
    } catch (...) {
        // The port may already have let go of the link; nothing to undo here.
    }
    model_.SetHost(nullptr);
}

void TCustomComTerminal::BeginLoading()
{
    model_.BeginLoading();
}

void TCustomComTerminal::Loaded()
{
    model_.Loaded();
    UpdateScrollBars();
}

// --- port link -------------------------------------------------------------------------------

TCustomComPort* TCustomComTerminal::ComPort() const
{
    return port_;
}

void TCustomComTerminal::SetComPort(TCustomComPort* port)
{
    if (port == port_)
        return;
    TCustomComPort* old = port_;
    port_ = nullptr;
    QObject::disconnect(portDestroyed_);
    if (old)
        old->DetachLink(link_.get());
    if (port) {
        port->AttachLink(link_.get());
        port_ = port;
        // The port is going away: it holds no reference we need to release.
        portDestroyed_ = connect(port, &QObject::destroyed, this, [this] { port_ = nullptr; });
    }
}

bool TCustomComTerminal::Connected() const
{
    return port_ && port_->Connected();
}

void TCustomComTerminal::SetConnected(bool value)
{
    if (port_)
        port_->SetConnected(value);
}

bool TCustomComTerminal::PortOpen() const
{
    return Connected();
}

void TCustomComTerminal::WritePort(const std::string& bytes)
{
    if (port_ && !bytes.empty())
        port_->WriteText(bytes);
}

// --- receive path and codes ----------------------------------------------------------------

// The port's delivery enters here: a failed answer to an escape query is reported and stops the
// chunk there, without reaching the port's event code.
void TCustomComTerminal::ProcessReceived(TCustomComPort*, const char* data, int count)
{
    ErrorReport::Guard([&] { model_.ProcessReceived(data, count); });
}

void TCustomComTerminal::DisplayText(const std::string& text)
{
    model_.DisplayText(text);
}

void TCustomComTerminal::DisplayBytes(const char* data, int count)
{
    if (count > 0)
        model_.DisplayBytes(data, static_cast<std::size_t>(count));
}

void TCustomComTerminal::ClearDisplay()
{
    model_.ClearDisplay();
}

void TCustomComTerminal::SendKeyChar(char ch)
{
    model_.SendKeyChar(ch);
}

void TCustomComTerminal::SendEscapeCode(TEscapeCode code, TParamList* params)
{
    model_.SendEscapeCode(code, params);
}

void TCustomComTerminal::ReplyEscapeCode(TEscapeCode code, TParamList* params)
{
    model_.ReplyEscapeCode(code, params);
}

bool TCustomComTerminal::ExecuteCode(TEscapeCode code, TParamList& params)
{
    return model_.ExecuteCode(code, params);
}

void TCustomComTerminal::PlaceCaret(int column, int row)
{
    model_.PlaceCaret(column, row);
}

void TCustomComTerminal::FireChar(char ch)
{
    if (OnChar)
        OnChar(this, ch);
}

void TCustomComTerminal::FireStrReceived(std::string& str)
{
    if (OnStrRecieved)
        OnStrRecieved(this, str);
}

void TCustomComTerminal::FireUnhandledCode(TEscapeCode code, const std::string& data)
{
    if (OnUnhandledCode)
        OnUnhandledCode(this, code, data);
}

void TCustomComTerminal::FireGetEscapeCodes(TEscapeCodes*& escapeCodes)
{
    if (OnGetEscapeCodes)
        OnGetEscapeCodes(this, escapeCodes);
}

// --- properties ----------------------------------------------------------------------------

void TCustomComTerminal::SetEmulation(TTermEmulation value)
{
    model_.SetEmulation(value);
}

void TCustomComTerminal::SetWrapLines(bool value)
{
    model_.WrapLines = value;
}

void TCustomComTerminal::SetSmoothScroll(bool value)
{
    smoothScroll_ = value;
    hbar_->setTracking(value);
    vbar_->setTracking(value);
}

void TCustomComTerminal::SetScrollBars(TScrollStyle value)
{
    if (value == scrollBars_)
        return;
    scrollBars_ = value;
    UpdateScrollBars();
    update();
}

void TCustomComTerminal::SetBorderStyle(TBorderStyle value)
{
    if (value == borderStyle_)
        return;
    borderStyle_ = value;
    ApplyAutoSize();
    UpdateScrollBars();
    update();
}

void TCustomComTerminal::SetAutoSize(bool value)
{
    autoSize_ = value;
    ApplyAutoSize();
}

void TCustomComTerminal::SetColor(TColor value)
{
    model_.SetColor(value);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(value));
    setPalette(pal);
    update();
}

void TCustomComTerminal::SetTermFont(const QFont& font, TColor color)
{
    model_.SetFontColor(color);
    ApplyFont(font);
}

bool TCustomComTerminal::IsFixedPitch(const QFont& font)
{
    // Measured, not taken from the font's flags: some monospaced fonts do not set them.
    const QFontMetricsF m(font);
    const qreal w = m.horizontalAdvance(QLatin1Char('M'));
    if (w <= 0)
        return false;
    for (QChar c : {QChar('i'), QChar('W'), QChar('.'), QChar(' '), QChar(0x0105)})
        if (std::abs(m.horizontalAdvance(c) - w) > 0.01)
            return false;
    return true;
}

void TCustomComTerminal::ApplyFont(const QFont& requested)
{
    QFont font = requested;
    font.setUnderline(false);
    if (!IsFixedPitch(font)) {
        // Cells need a fixed-pitch font: take the first one installed, at the requested size.
        QList<QFont> candidates{QFontDatabase::systemFont(QFontDatabase::FixedFont)};
        for (const char* family : {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono", "monospace"})
            candidates.append(QFont(QString::fromLatin1(family)));
        for (QFont candidate : candidates) {
            if (font.pointSizeF() > 0)
                candidate.setPointSizeF(font.pointSizeF());
            else if (font.pixelSize() > 0)
                candidate.setPixelSize(font.pixelSize());
            candidate.setStyleHint(QFont::TypeWriter);
            if (IsFixedPitch(candidate)) {
                font = candidate;
                break;
            }
        }
    }
    termFont_ = font;
    setFont(font);

    // Cells are measured from the font actually used; glyph advances are widened to whole
    // pixels so that a run of cells can be drawn as one text.
    const QFontMetricsF mf(font);
    const QFontMetrics m(font);
    const qreal advance = mf.horizontalAdvance(QLatin1Char('M'));
    cellWidth_ = std::max(1, qCeil(advance - 0.001));
    cellHeight_ = std::max(1, m.height());
    ascent_ = m.ascent();
    drawFont_ = font;
    if (cellWidth_ != advance)
        drawFont_.setLetterSpacing(QFont::AbsoluteSpacing, cellWidth_ - advance);
    underlineFont_ = drawFont_;
    underlineFont_.setUnderline(true);
    rawFont_ = QRawFont::fromFont(font);
    glyphOf_.fill(0);
    if (rawFont_.isValid()) {
        QString all;
        for (int i = 32; i < 256; ++i)
            all.append(CodePageTable()[static_cast<std::size_t>(i)]);
        const QList<quint32> indexes = rawFont_.glyphIndexesForString(all);
        if (indexes.size() == all.size())
            for (int i = 32; i < 256; ++i)
                glyphOf_[static_cast<std::size_t>(i)] = indexes[i - 32];
    }
    runDrawing_ = IsFixedPitch(drawFont_) &&
                  qAbs(QFontMetricsF(drawFont_).horizontalAdvance(QStringLiteral("MMMMMMMM")) -
                       8 * cellWidth_) < 0.05;

    if (caretExists_)
        BuildCaret();
    ApplyAutoSize();
    UpdateScrollBars();
    update();
}

void TCustomComTerminal::SetCaret(TTermCaret value)
{
    if (value == caret_)
        return;
    caret_ = value;
    if (hasFocus()) {
        DestroyCaret();
        BuildCaret();
    }
}

// --- geometry ------------------------------------------------------------------------------

QRect TCustomComTerminal::ClientArea() const
{
    const int fw = FrameWidth();
    int w = width() - 2 * fw;
    int h = height() - 2 * fw;
    if (vbar_->isVisibleTo(this))
        w -= vbar_->width();
    if (hbar_->isVisibleTo(this))
        h -= hbar_->height();
    return QRect(fw, fw, std::max(0, w), std::max(0, h));
}

QRect TCustomComTerminal::CellRect(int left, int top, int right, int bottom) const
{
    const QRect client = ClientArea();
    const int x0 = std::max((left - viewColumn_) * cellWidth_, 0);
    const int y0 = std::max((top - viewRow_) * cellHeight_, 0);
    const int x1 = std::max((right - viewColumn_ + 1) * cellWidth_, 0);
    const int y1 = std::max((bottom - viewRow_ + 1) * cellHeight_, 0);
    return QRect(client.left() + x0, client.top() + y0, x1 - x0, y1 - y0) & client;
}

void TCustomComTerminal::ApplyAutoSize()
{
    if (!autoSize_)
        return;
    const int fw = FrameWidth();
    resize(cellWidth_ * model_.Columns() + 2 * fw, cellHeight_ * model_.Rows() + 2 * fw);
}

void TCustomComTerminal::UpdateScrollBars()
{
    if (scrollBars_ == ssNone || updatingBars_) {
        if (scrollBars_ == ssNone) {
            hbar_->hide();
            vbar_->hide();
            viewColumn_ = viewRow_ = 1;
        }
        return;
    }
    // A bar appearing or disappearing resizes the client area; don't start over from there.
    updatingBars_ = true;
    struct Restore {
        bool& flag;
        ~Restore() { flag = false; }
    } restore{updatingBars_};

    const bool hApplies = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    const bool vApplies = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    const int fw = FrameWidth();
    const int fullW = std::max(0, width() - 2 * fw);
    const int fullH = std::max(0, height() - 2 * fw);
    const int barW = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);

    bool hShown = false, vShown = false;
    for (int pass = 0; pass < 3; ++pass) {
        const int w = fullW - (vShown ? barW : 0);
        const int h = fullH - (hShown ? barW : 0);
        const bool hNext = hApplies && w / cellWidth_ < model_.Columns();
        const bool vNext = vApplies && h / cellHeight_ < model_.Rows();
        if (hNext == hShown && vNext == vShown)
            break;
        hShown = hNext;
        vShown = vNext;
    }
    const int w = fullW - (vShown ? barW : 0);
    const int h = fullH - (hShown ? barW : 0);

    const int hVisible = w / cellWidth_;
    const int vVisible = h / cellHeight_;
    hbar_->blockSignals(true);
    vbar_->blockSignals(true);
    hbar_->setRange(0, hShown ? model_.Columns() - hVisible : 0);
    hbar_->setPageStep(std::max(1, hVisible));
    vbar_->setRange(0, vShown ? model_.Rows() - vVisible : 0);
    vbar_->setPageStep(std::max(1, vVisible));
    hbar_->blockSignals(false);
    vbar_->blockSignals(false);
    hbar_->setGeometry(fw, fw + h, w, barW);
    vbar_->setGeometry(fw + w, fw, barW, h);
    hbar_->setVisible(hShown);
    vbar_->setVisible(vShown);

    const int newViewColumn = hApplies ? hbar_->value() + 1 : 1;
    const int newViewRow = vApplies ? vbar_->value() + 1 : 1;
    if (newViewColumn != viewColumn_ || newViewRow != viewRow_) {
        viewColumn_ = newViewColumn;
        viewRow_ = newViewRow;
        update();
    }
}

void TCustomComTerminal::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateScrollBars();
}

void TCustomComTerminal::OnScrollValue(bool vertical, int value)
{
    int& view = vertical ? viewRow_ : viewColumn_;
    const int old = view - 1;
    view = value + 1;
    if (old == value)
        return;
    if (vertical)
        ScrollPixels(0, (old - value) * cellHeight_);
    else
        ScrollPixels((old - value) * cellWidth_, 0);
    CaretMoved();
}

void TCustomComTerminal::ScrollPixels(int dx, int dy)
{
    FlushCellRun();
    const QRect client = ClientArea();
    // Pixels can only be moved when what is on the surface is current; with repaints still
    // queued the moved pixels would be stale, so the area is repainted instead.
    if (updatePending_ || std::abs(dx) >= client.width() || std::abs(dy) >= client.height()) {
        update(client);
        updatePending_ = true;
        return;
    }
    if (drawnCaret_.isValid()) {
        // The caret is drawn into the pixels; take it out before they move.
        update(drawnCaret_);
        update(client);
        updatePending_ = true;
        return;
    }
    scroll(dx, dy, client);
    updatePending_ = true;
}

// --- screen updates from the model ---------------------------------------------------------

void TCustomComTerminal::CellsChanged(int left, int top, int right, int bottom)
{
    if (!isVisible())
        return;
    const QRect r = CellRect(left, top, right, bottom);
    if (r.isEmpty())
        return;
    updatePending_ = true;
    if (outputDepth_ > 0) {
        const bool extends = !cellRun_.isEmpty() && r.top() == cellRun_.top() &&
                             r.bottom() == cellRun_.bottom() && r.left() <= cellRun_.right() + 1 &&
                             r.right() + 1 >= cellRun_.left();
        if (extends) {
            cellRun_ |= r;
            return;
        }
        FlushCellRun();
        cellRun_ = r;
        return;
    }
    Invalidate(r);
}

void TCustomComTerminal::FlushCellRun()
{
    if (cellRun_.isEmpty())
        return;
    const QRect run = cellRun_;
    cellRun_ = QRect();
    Invalidate(run);
}

void TCustomComTerminal::ContentScrolled(int rows)
{
    if (!isVisible())
        return;
    FlushCellRun();
    const QRect client = ClientArea();
    const int w = std::min(client.width(), model_.Columns() * cellWidth_);
    const int h = std::min(client.height(), model_.Rows() * cellHeight_);
    const QRect area(client.topLeft(), QSize(w, h));
    if (updatePending_ || drawnCaret_.isValid() || h <= cellHeight_) {
        Invalidate(area);
    } else {
        scroll(0, rows * cellHeight_, area);
    }
    updatePending_ = true;
}

void TCustomComTerminal::DisplayChanged()
{
    cellRun_ = QRect();   // inside the whole
    Invalidate(rect());
    updatePending_ = true;
}

namespace {
constexpr int kFrameMs = 33;
// A change this close to the next frame is painted at once rather than on a timer of its own:
// output arriving at about the frame rate (as the port's batches at 9600 bit/s do) would
// otherwise wake the thread twice per batch. Frames still come at most about 40 a second.
constexpr int kFrameSlackMs = 8;
}

void TCustomComTerminal::Invalidate(const QRect& area)
{
    if (area.isEmpty())
        return;
    updatePending_ = true;
    if (frameAsked_) {
        // Changes made before the asked-for frame is painted join it.
        update(area);
        return;
    }
    deferred_ += area;
    if (frameTimer_.isActive())
        return;
    if (!sinceFrame_.isValid() || sinceFrame_.elapsed() >= kFrameMs - kFrameSlackMs)
        FlushFrame();
    else
        frameTimer_.start(static_cast<int>(kFrameMs - sinceFrame_.elapsed()));
}

void TCustomComTerminal::FlushFrame()
{
    sinceFrame_.start();
    if (deferred_.isEmpty())
        return;
    update(deferred_);
    deferred_ = QRegion();
    frameAsked_ = true;
}

void TCustomComTerminal::GridResized()
{
    ApplyAutoSize();
    UpdateScrollBars();
}

// --- caret ---------------------------------------------------------------------------------

QRect TCustomComTerminal::CaretRect() const
{
    if (!caretExists_ || outputDepth_ > 0)
        return QRect();
    const QRect client = ClientArea();
    const int x = client.left() + (model_.CaretColumn() - viewColumn_) * cellWidth_;
    const int y = client.top() + cellHeight_ * (model_.CaretRow() - viewRow_ + 1) - caretHeight_;
    return QRect(x, y, cellWidth_, caretHeight_);
}

void TCustomComTerminal::CaretMoved()
{
    // While output runs the caret is hidden; it is placed once when the output ends.
    if (outputDepth_ > 0 || !caretExists_)
        return;
    const QRect now = CaretRect();
    if (now == drawnCaret_)
        return;
    if (drawnCaret_.isValid())
        Invalidate(drawnCaret_);
    Invalidate(now);
    updatePending_ = true;
}

void TCustomComTerminal::BeginOutput()
{
    if (outputDepth_++ == 0 && drawnCaret_.isValid()) {
        Invalidate(drawnCaret_);
        updatePending_ = true;
    }
}

void TCustomComTerminal::EndOutput()
{
    FlushCellRun();
    if (--outputDepth_ == 0 && caretExists_) {
        Invalidate(CaretRect());
        updatePending_ = true;
    }
}

void TCustomComTerminal::BuildCaret()
{
    switch (caret_) {
    case tcBlock: caretHeight_ = cellHeight_; break;
    case tcUnderline: caretHeight_ = cellHeight_ / 8; break;
    case tcNone: caretHeight_ = 0; break;
    }
    caretExists_ = caretHeight_ > 0;
    CaretMoved();
}

void TCustomComTerminal::DestroyCaret()
{
    if (drawnCaret_.isValid())
        update(drawnCaret_);
    caretExists_ = false;
}

void TCustomComTerminal::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    BuildCaret();
}

void TCustomComTerminal::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    DestroyCaret();
}

void TCustomComTerminal::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

// --- painting ------------------------------------------------------------------------------

void TCustomComTerminal::paintEvent(QPaintEvent* event)
{
    updatePending_ = !deferred_.isEmpty();
    frameAsked_ = false;
    QPainter p(this);
    const QRect client = ClientArea();
    // Frames of received output touch only cells; the sunken border is drawn when exposed.
    const QRect frameInside = rect().adjusted(FrameWidth(), FrameWidth(), -FrameWidth(), -FrameWidth());
    if (borderStyle_ == bsSingle && !frameInside.contains(event->rect()))
        qDrawWinPanel(&p, rect(), palette(), true);

    const QRect clip = event->rect() & client;
    if (!clip.isEmpty()) {
        p.setClipRect(clip);
        p.setFont(drawFont_);
        const QRect local = clip.translated(-client.topLeft());
        const int firstCol = local.left() / cellWidth_ + 1;
        const int lastCol = std::min(local.right() / cellWidth_ + 1, model_.Columns());
        const int firstRow = local.top() / cellHeight_ + 1;
        const int lastRow = std::min(local.bottom() / cellHeight_ + 1, model_.Rows());
        const TComTermBuffer& buffer = model_.Buffer();
        const auto& table = CodePageTable();
        const QColor erased = autoFillBackground() ? palette().color(QPalette::Window) : QColor();
        QString run;
        QList<quint32> glyphIndexes;
        bool underlined = false;
        for (int r = firstRow; r <= lastRow; ++r) {
            const int row = r + viewRow_ - 1;
            if (row < 1 || row > buffer.Rows())
                continue;
            const TTermCell* cells = buffer.Row(row);
            const int y = client.top() + (r - 1) * cellHeight_;
            int c = firstCol;
            while (c <= lastCol) {
                const int col = c + viewColumn_ - 1;
                if (col < 1 || col > buffer.Columns()) {
                    ++c;
                    continue;
                }
                const TTermCell& cell = cells[col - 1];
                if (cell.Symbol == 0) {
                    ++c;
                    continue;
                }
                // Cells with the same colours and underline are drawn as one run. Glyphs are
                // placed cell by cell from the font's own glyph table (no text shaping); a byte
                // the font has no glyph for goes through text drawing and font fallback.
                const bool glyphs = rawFont_.isValid() && glyphOf_[cell.Symbol] != 0;
                run.clear();
                run.append(table[cell.Symbol]);
                glyphIndexes.clear();
                glyphIndexes.append(glyphOf_[cell.Symbol]);
                int end = c;
                if (glyphs || runDrawing_) {
                    while (end + 1 <= lastCol && col + (end + 1 - c) <= buffer.Columns()) {
                        const TTermCell& next = cells[col + (end - c)];
                        if (next.Symbol == 0 || next.Foreground != cell.Foreground ||
                            next.Background != cell.Background || next.Underline != cell.Underline ||
                            (glyphs && glyphOf_[next.Symbol] == 0))
                            break;
                        run.append(table[next.Symbol]);
                        glyphIndexes.append(glyphOf_[next.Symbol]);
                        ++end;
                    }
                }
                const int x = client.left() + (c - 1) * cellWidth_;
                const QRect box(x, y, (end - c + 1) * cellWidth_, cellHeight_);
                const QColor background = ToQColor(cell.Background);
                if (background != erased)   // the background fill already gave these their colour
                    p.fillRect(box, background);
                p.setPen(ToQColor(cell.Foreground));
                if (glyphs) {
                    QList<QPointF> positions;
                    positions.reserve(glyphIndexes.size());
                    for (qsizetype k = 0; k < glyphIndexes.size(); ++k)
                        positions.append(QPointF(k * cellWidth_, 0));
                    QGlyphRun glyphRun;
                    glyphRun.setRawFont(rawFont_);
                    glyphRun.setGlyphIndexes(glyphIndexes);
                    glyphRun.setPositions(positions);
                    glyphRun.setUnderline(cell.Underline);
                    p.drawGlyphRun(QPointF(x, y + ascent_), glyphRun);
                } else {
                    if (cell.Underline != underlined) {
                        underlined = cell.Underline;
                        p.setFont(underlined ? underlineFont_ : drawFont_);
                    }
                    p.drawText(QPoint(x, y + ascent_), run);
                }
                c = end + 1;
            }
        }
        p.setClipping(false);
    }

    drawnCaret_ = CaretRect();
    if (drawnCaret_.isValid() && hasFocus()) {
        p.setClipRect(client);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(drawnCaret_, Qt::white);
    } else {
        drawnCaret_ = QRect();
    }
}

// --- keyboard ------------------------------------------------------------------------------

bool TCustomComTerminal::focusNextPrevChild(bool next)
{
    // With WantTab the Tab key is a character for the port, not a focus move.
    if (wantTab_)
        return false;
    return QWidget::focusNextPrevChild(next);
}

void TCustomComTerminal::keyPressEvent(QKeyEvent* event)
{
    TTermKey key;
    bool cursor = true;
    switch (event->key()) {
    case Qt::Key_Home: key = tkHome; break;
    case Qt::Key_Left: key = tkLeft; break;
    case Qt::Key_Up: key = tkUp; break;
    case Qt::Key_Right: key = tkRight; break;
    case Qt::Key_Down: key = tkDown; break;
    default: cursor = false; key = tkHome; break;
    }
    // A key whose bytes the port cannot take is reported like any failed handler.
    if (cursor) {
        ErrorReport::Guard([&] { model_.CursorKey(key); });
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Tab && !wantTab_) {
        QWidget::keyPressEvent(event);
        return;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Typed characters go out in the controller's code page. One it cannot hold is not sent: a
    // stand-in byte (ICU's is Ctrl+Z) would reach the controller as a key it never got.
    QByteArray bytes;
    Windows1250::Encode(text, bytes);
    ErrorReport::Guard([&] {
        for (char ch : bytes)
            SendKeyChar(ch);
    });
    event->accept();
}
