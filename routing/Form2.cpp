#include "Form2.h"

#include "ColumnHeader.h"
#include "ControllerSession.h"
#include "ErrorReport.h"
#include "Form3.h"
#include "PassProgress.h"
#include "RoutingTable.h"
#include "SettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFrame>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <stdexcept>

namespace {

constexpr int kColumnWidth = 145;
constexpr int kColumnHeight = 305;
constexpr int kColumnPitch = 150;
constexpr int kColumnMargin = 2;
constexpr int kScrollStep = 54;
constexpr int kHeaderLeft = 8;
// The header may reach the panel's frame, not beyond.
constexpr int kHeaderRoom = kColumnWidth - kHeaderLeft - 2;

QFont PixelFont(const QFont& base, int pixels)
{
    QFont f = base;
    f.setPixelSize(pixels);
    return f;
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Konfiguracja ! F2  ZAPISZ USTAWIENIA, F3 POKAŻ AKTUALNE UST."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(PixelFont(font(), 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    setAutoFillBackground(true);

    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox->horizontalScrollBar()->setSingleStep(kScrollStep);
    ScrollBox->horizontalScrollBar()->setTracking(true);   // the content follows a dragged thumb
    ScrollBox->setWidgetResizable(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ScrollBox);

    BuildColumns();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Zapisz1 = new QAction(QStringLiteral("Zapisz"), this);
    Zapisz1->setObjectName(QStringLiteral("Zapisz1"));
    Zapisz1->setShortcut(QKeySequence(Qt::Key_F2));
    Stankonfiguracji1 = new QAction(QStringLiteral("Stan konfiguracji"), this);
    Stankonfiguracji1->setObjectName(QStringLiteral("Stankonfiguracji1"));
    Stankonfiguracji1->setShortcut(QKeySequence(Qt::Key_F3));
    for (QAction* a : {Zapisz1, Stankonfiguracji1}) {
        a->setShortcutContext(Qt::WindowShortcut);
        PopupMenu1->addAction(a);
        addAction(a);   // so the shortcuts work without the menu open
    }
    connect(Zapisz1, &QAction::triggered, this, [this] { ErrorReport::Guard([this] { Zapisz1Click(); }); });
    connect(Stankonfiguracji1, &QAction::triggered, this,
            [this] { ErrorReport::Guard([this] { Stankonfiguracji1Click(); }); });

    progress_ = new TPassProgress(Routing::kCells, this);

    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { ScrollToFocused(now); });

    setFixedSize(kOuterWidth, kOuterHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kOuterWidth / 2, kOuterHeight / 2));
    }

    FormCreate();
}

TForm2::~TForm2()
{
    // Nothing may reach this half-destroyed window while QWidget tears it down.
    disconnect(qApp, nullptr, this, nullptr);
    if (view_) {
        removeEventFilter(view_);
        // The view is parented here only for modality; whoever created it still owns it.
        if (view_->parentWidget() == this)
            view_->setParent(nullptr, view_->windowFlags());
    }
}

void TForm2::BuildColumns()
{
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("Columns"));
    const QFont headerFont = PixelFont(font(), 13);
    for (int k = 1; k <= Routing::kInputs; ++k) {
        const Routing::ColumnNames& names = Routing::ColumnOf(k);
        auto* panel = new QFrame(content);
        panel->setObjectName(QString::fromLatin1(names.panel));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setGeometry(kColumnMargin + kColumnPitch * (k - 1), kColumnMargin, kColumnWidth,
                           kColumnHeight);

        auto* header = new TColumnHeader(panel);
        header->setObjectName(QString::fromLatin1(names.header));
        header->setFont(headerFont);
        header->setGeometry(kHeaderLeft, 8, kHeaderRoom, 22);
        headers_[k - 1] = header;

        for (int j = 1; j <= Routing::kOutputs; ++j) {
            auto* cell = new QCheckBox(panel);
            cell->setObjectName(Routing::CellObjectName(k, j));
            cell->setGeometry(8, 40 + 16 * (j - 1), 97, 17);
            cells_[k - 1][j - 1] = cell;
        }
        columns_[k - 1] = panel;
    }
    content->resize(2 * kColumnMargin + kColumnPitch * (Routing::kInputs - 1) + kColumnWidth,
                    kColumnHeight + 2 * kColumnMargin);
    ScrollBox->setWidget(content);

    // Tab order follows the inputs, then the outputs, not the order the controls were made in.
    QWidget* previous = nullptr;
    for (int k = 1; k <= Routing::kInputs; ++k) {
        for (int j = 1; j <= Routing::kOutputs; ++j) {
            if (previous)
                setTabOrder(previous, cells_[k - 1][j - 1]);
            previous = cells_[k - 1][j - 1];
        }
    }
}

void TForm2::FormCreate()
{
    nameLines_ = Routing::DefaultNameLines();
    if (QFile::exists(SettingsFile::kFileName)) {
        QStringList loaded;
        if (SettingsFile::Load(SettingsFile::kFileName, loaded))
            nameLines_ = loaded;
    }
    for (int k = 1; k <= Routing::kInputs; ++k) {
        TColumnHeader* header = headers_[k - 1];
        header->SetCaption(Routing::HeaderCaption(nameLines_, k));
        header->FitWidth(kHeaderRoom);
    }
    for (int j = 1; j <= Routing::kOutputs; ++j) {
        const QString caption = Routing::CellCaption(nameLines_, j);
        for (int k = 1; k <= Routing::kInputs; ++k)
            cells_[k - 1][j - 1]->setText(caption);
    }
}

void TForm2::Bind(TControllerSession* session, TForm3* view)
{
    session_ = session;
    view_ = view;
}

QCheckBox* TForm2::Cell(int input, int output) const
{
    if (input < 1 || input > Routing::kInputs || output < 1 || output > Routing::kOutputs)
        return nullptr;
    return cells_[input - 1][output - 1];
}

TColumnHeader* TForm2::ColumnHeader(int input) const
{
    return input >= 1 && input <= Routing::kInputs ? headers_[input - 1] : nullptr;
}

QWidget* TForm2::Column(int input) const
{
    return input >= 1 && input <= Routing::kInputs ? columns_[input - 1] : nullptr;
}

void TForm2::Zapisz1Click()
{
    if (!session_)
        throw std::runtime_error("The routing window has no line to the controller");

    Routing::RoutingPassIo io;
    io.write = [this](const std::string& text) {
        const int sent = session_->WriteCommand(text);
        // A character the device did not take would shift every later cell of the table.
        if (sent != static_cast<int>(text.size()))
            throw std::runtime_error("Routing write incomplete: the port took " +
                                     std::to_string(sent) + " of " +
                                     std::to_string(text.size()) + " bytes");
    };
    io.checked = [this](int input, int output) { return cells_[input - 1][output - 1]->isChecked(); };
    io.progress = [this](int sent) { progress_->SetSent(sent); };
    io.now = Routing::SteadyNow;
    io.sleepUntil = SleepUntil ? SleepUntil : Routing::SleepUntilDeadline;

    // The indicator and a busy cursor for the length of the pass, also when a write fails.
    struct PassIndicator {
        TPassProgress* p;
        explicit PassIndicator(TPassProgress* progress) : p(progress)
        {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            p->Begin(0);
        }
        ~PassIndicator()
        {
            p->End();
            QApplication::restoreOverrideCursor();
        }
    } indicator(progress_);
    Routing::RunRoutingPass(io, Pacing);
}

void TForm2::Stankonfiguracji1Click()
{
    if (!view_)
        throw std::runtime_error("The routing window has no configuration view");
    view_->Request();
}

void TForm2::FormClose()
{
    emit Closed();
    if (view_)
        view_->hide();
}

void TForm2::reject()
{
    // Escape closes the window the same way as its close button, so the main window comes back.
    close();
}

void TForm2::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TForm2::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
    event->accept();
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FitOuterSize();
}

void TForm2::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    // The window manager's frame is known only once the window is up.
    FitOuterSize();
}

void TForm2::FitOuterSize()
{
    const QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize client(kOuterWidth - m.left() - m.right(), kOuterHeight - m.top() - m.bottom());
    if (client != minimumSize() || client != maximumSize())
        setFixedSize(client);
}

void TForm2::ScrollToFocused(QWidget* now)
{
    if (now && ScrollBox->widget() && ScrollBox->widget()->isAncestorOf(now))
        ScrollBox->ensureWidgetVisible(now, 16, 0);
}
