#include "RoutingMatrixWindow.h"

#include "ColumnHeader.h"
#include "ControllerSession.h"
#include "ErrorReport.h"
#include "OuterSize.h"
#include "RoutingTableView.h"
#include "PassProgress.h"
#include "RoutingBackup.h"
#include "RoutingCell.h"
#include "RoutingChanges.h"
#include "RoutingReply.h"
#include "RoutingSheet.h"
#include "RoutingTable.h"
#include "RoutingTableRead.h"
#include "RoutingWriteFlow.h"
#include "SettingsFile.h"
#include "SettingsLayout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
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

QAction* MenuAction(QWidget* owner, const char* name, const QString& caption, const QKeySequence& key)
{
    auto* a = new QAction(caption, owner);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(a);   // so the shortcuts work without the menu open
    return a;
}

}  // namespace

const QString RoutingMatrixWindow::kQuestionTitle = QStringLiteral("Konfiguracja");
const QString RoutingMatrixWindow::kReadFailed = QStringLiteral("Nie udało się odczytać konfiguracji ze sterownika.");
const QString RoutingMatrixWindow::kUnreadBeforeWrite =
    QStringLiteral("Nie udało się odczytać konfiguracji sterownika. Zapis zastąpi całą konfigurację sterownika.");
const QString RoutingMatrixWindow::kWriteNotConfirmed =
    QStringLiteral("Sterownik nie potwierdził zapisu konfiguracji. Zapisz ją ponownie (F2).");

RoutingMatrixWindow::RoutingMatrixWindow(QWidget* parent) : QDialog(parent)
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
    BuildMenu();

    progress_ = new TPassProgress(Routing::kCells, this);

    tableRead_ = new TRoutingTableRead(this);
    connect(tableRead_, &TRoutingTableRead::Read, this,
            [this](const Routing::TRoutingCells& table) { ErrorReport::Guard([&] { OnTableRead(table); }); });
    connect(tableRead_, &TRoutingTableRead::Failed, this,
            [this] { ErrorReport::Guard([this] { OnTableReadFailed(); }); });
    BuildWriteFlow();

    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { ScrollToFocused(now); });

    setFixedSize(kOuterWidth, kOuterHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kOuterWidth / 2, kOuterHeight / 2));
    }

    ShowNames();
}

RoutingMatrixWindow::~RoutingMatrixWindow()
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

void RoutingMatrixWindow::BuildColumns()
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
            auto* cell = new TRoutingCell(panel);
            cell->setObjectName(Routing::CellObjectName(k, j));
            cell->setGeometry(8, 40 + 16 * (j - 1), 97, 17);
            connect(cell, &QCheckBox::toggled, this, [this] { UpdateMarks(); });
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

void RoutingMatrixWindow::BuildMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Zapisz1 = MenuAction(this, "Zapisz1", QStringLiteral("Zapisz"), Qt::Key_F2);
    Stankonfiguracji1 = MenuAction(this, "Stankonfiguracji1", QStringLiteral("Stan konfiguracji"), Qt::Key_F3);
    Wczytajzesterownika1 =
        MenuAction(this, "Wczytajzesterownika1", QStringLiteral("Wczytaj ze sterownika"), Qt::Key_F4);
    Zapiszdopliku1 = MenuAction(this, "Zapiszdopliku1", QStringLiteral("Zapisz do pliku…"), QKeySequence::Save);
    Wczytajzpliku1 = MenuAction(this, "Wczytajzpliku1", QStringLiteral("Wczytaj z pliku…"), QKeySequence::Open);
    DrukujdoPDF1 = MenuAction(this, "DrukujdoPDF1", QStringLiteral("Drukuj do PDF…"), QKeySequence());
    PopupMenu1->addActions({Zapisz1, Stankonfiguracji1, Wczytajzesterownika1});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({Zapiszdopliku1, Wczytajzpliku1, DrukujdoPDF1});

    const std::pair<QAction*, void (RoutingMatrixWindow::*)()> handlers[] = {
        {Zapisz1, &RoutingMatrixWindow::SaveToController},
        {Stankonfiguracji1, &RoutingMatrixWindow::ShowControllerTable},
        {Wczytajzesterownika1, &RoutingMatrixWindow::LoadFromController},
        {Zapiszdopliku1, &RoutingMatrixWindow::SaveToFile},
        {Wczytajzpliku1, &RoutingMatrixWindow::LoadFromFile},
        {DrukujdoPDF1, &RoutingMatrixWindow::PrintToPdf},
    };
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this, [this, h = handler] { ErrorReport::Guard([&] { (this->*h)(); }); });
}

void RoutingMatrixWindow::ShowNames()
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

void RoutingMatrixWindow::Bind(TControllerSession* session, RoutingTableView* view)
{
    if (session_)
        disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    view_ = view;
    tableRead_->SetSession(session);
    if (!session_)
        return;
    writeFlow_->AttachSession(session_, tableRead_);
    // Any whole, clean reply tells what the controller holds, whoever asked for it.
    connect(session_, &TControllerSession::ConfigDumpComplete, this,
            [this](const QByteArray& raw) { ErrorReport::Guard([&] { OnDumpComplete(raw); }); });
}

TRoutingCell* RoutingMatrixWindow::Cell(int input, int output) const
{
    if (input < 1 || input > Routing::kInputs || output < 1 || output > Routing::kOutputs)
        return nullptr;
    return cells_[input - 1][output - 1];
}

TColumnHeader* RoutingMatrixWindow::ColumnHeader(int input) const
{
    return input >= 1 && input <= Routing::kInputs ? headers_[input - 1] : nullptr;
}

QWidget* RoutingMatrixWindow::Column(int input) const
{
    return input >= 1 && input <= Routing::kInputs ? columns_[input - 1] : nullptr;
}

Routing::TRoutingCells RoutingMatrixWindow::MatrixCells() const
{
    Routing::TRoutingCells cells;
    for (int k = 1; k <= Routing::kInputs; ++k)
        for (int j = 1; j <= Routing::kOutputs; ++j)
            cells.Set(k, j, cells_[k - 1][j - 1]->isChecked());
    return cells;
}

void RoutingMatrixWindow::SetMatrixCells(const Routing::TRoutingCells& cells)
{
    for (int k = 1; k <= Routing::kInputs; ++k)
        for (int j = 1; j <= Routing::kOutputs; ++j)
            cells_[k - 1][j - 1]->setChecked(cells.At(k, j));
}

void RoutingMatrixWindow::UpdateMarks()
{
    for (int k = 1; k <= Routing::kInputs; ++k) {
        int changes = 0;
        for (int j = 1; j <= Routing::kOutputs; ++j) {
            TRoutingCell* cell = cells_[k - 1][j - 1];
            TRoutingCell::Mark mark = TRoutingCell::Mark::None;
            if (controllerTable_ && controllerTable_->At(k, j) != cell->isChecked())
                mark = cell->isChecked() ? TRoutingCell::Mark::Added : TRoutingCell::Mark::Removed;
            cell->SetMark(mark);
            changes += mark != TRoutingCell::Mark::None;
        }
        headers_[k - 1]->SetChanges(changes);
    }
}

void RoutingMatrixWindow::SetBusy(bool busy)
{
    for (QAction* a : {Zapisz1, Wczytajzesterownika1, Wczytajzpliku1})
        a->setEnabled(!busy);
}

// --- Reading the controller's table ---

void RoutingMatrixWindow::LoadFromController()
{
    if (tableRead_->Running())
        return;
    loading_ = true;
    SetBusy(true);
    if (view_ && view_->isVisible())
        view_->ClearText();
    tableRead_->Start();
}

void RoutingMatrixWindow::OnDumpComplete(const QByteArray& raw)
{
    if (const std::optional<Routing::TRoutingCells> table = Routing::DecodeReplyStrict(raw)) {
        controllerTable_ = *table;
        UpdateMarks();
    }
}

void RoutingMatrixWindow::OnTableRead(const Routing::TRoutingCells& table)
{
    if (!std::exchange(loading_, false))
        return;
    controllerTable_ = table;
    SetBusy(false);
    SetMatrixCells(table);
    UpdateMarks();
}

void RoutingMatrixWindow::OnTableReadFailed()
{
    if (!std::exchange(loading_, false))
        return;
    SetBusy(false);
    QMessageBox::warning(this, kQuestionTitle, kReadFailed);
}

// --- Writing ---

void RoutingMatrixWindow::BuildWriteFlow()
{
    writeFlow_ = new TRoutingWriteFlow(this);
    writeFlow_->wanted = [this] { return MatrixCells(); };
    writeFlow_->checked = [this](int input, int output) { return cells_[input - 1][output - 1]->isChecked(); };
    writeFlow_->goAhead = [this](const std::optional<Routing::TRoutingCells>& held,
                                 const Routing::TRoutingChanges& changes) { return ConfirmWrite(held, changes); };
    writeFlow_->progress = [this](int sent) { progress_->SetSent(sent); };
    writeFlow_->sleepUntil = [this](Routing::PassClock::time_point deadline) {
        (SleepUntil ? SleepUntil : Routing::SleepUntilDeadline)(deadline);
    };
    // The indicator and a busy cursor for the length of the pass, also when a write fails.
    writeFlow_->passBegins = [this] {
        SetBusy(true);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        progress_->Begin(0);
    };
    writeFlow_->passEnds = [this] {
        progress_->End();
        QApplication::restoreOverrideCursor();
        SetBusy(false);
    };
    connect(writeFlow_, &TRoutingWriteFlow::TableKnown, this,
            [this](const std::optional<Routing::TRoutingCells>& held) {
                SetBusy(false);
                if (held) {
                    controllerTable_ = *held;
                    UpdateMarks();
                }
            });
    connect(writeFlow_, &TRoutingWriteFlow::PassFailed, this, [this](const QString& reason) {
        // The cells stay as they are, ready for the next F2.
        QMessageBox box(QMessageBox::Warning, kQuestionTitle, kWriteNotConfirmed, QMessageBox::Ok, this);
        box.setDetailedText(reason);
        box.exec();
    });
    // Also after the "not confirmed" message: a late '?' still means the table was stored.
    connect(writeFlow_, &TRoutingWriteFlow::Saved, this, [this](const Routing::TRoutingCells& stored) {
        controllerTable_ = stored;
        UpdateMarks();
    });
    connect(writeFlow_, &TRoutingWriteFlow::NotConfirmed, this,
            [this] { QMessageBox::warning(this, kQuestionTitle, kWriteNotConfirmed); });
}

void RoutingMatrixWindow::SaveToController()
{
    if (tableRead_->Running())
        return;
    SetBusy(true);
    if (view_ && view_->isVisible())
        view_->ClearText();
    writeFlow_->pacing = Pacing;
    writeFlow_->Start();
}

bool RoutingMatrixWindow::ConfirmWrite(const std::optional<Routing::TRoutingCells>& held,
                                       const Routing::TRoutingChanges& changes)
{
    QString question;
    if (!held)
        question = kUnreadBeforeWrite;
    else if (changes.removed > 0)
        question = QStringLiteral("Dodane połączenia: %1, usunięte połączenia: %2").arg(changes.added).arg(changes.removed);
    if (question.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Question, kQuestionTitle, question, QMessageBox::NoButton, this);
    QPushButton* save = box.addButton(QStringLiteral("Zapisz"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Anuluj"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == save;
}

void RoutingMatrixWindow::WriteMatrix()
{
    if (!session_)
        throw std::runtime_error("The routing window has no line to the controller");
    writeFlow_->pacing = Pacing;
    writeFlow_->RunPass();
}

void RoutingMatrixWindow::ShowControllerTable()
{
    if (!view_)
        throw std::runtime_error("The routing window has no configuration view");
    view_->Request();
}

// --- Files ---

void RoutingMatrixWindow::SaveToFile()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Zapisz do pliku"),
                                                      QStringLiteral("konfiguracja.txt"),
                                                      QStringLiteral("Tabela połączeń (*.txt);;Wszystkie pliki (*)"));
    if (!path.isEmpty())
        SaveBackupTo(path);
}

void RoutingMatrixWindow::LoadFromFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Wczytaj z pliku"), QString(),
                                                      QStringLiteral("Tabela połączeń (*.txt);;Wszystkie pliki (*)"));
    if (!path.isEmpty())
        LoadBackupFrom(path);
}

void RoutingMatrixWindow::PrintToPdf()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Drukuj do PDF"),
                                                      QStringLiteral("konfiguracja.pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty())
        PrintTo(path);
}

namespace {

QStringList Names(const QStringList& lines, int (*lineOf)(int))
{
    QStringList names;
    for (int i = 1; i <= Routing::kInputs; ++i)
        names << SettingsFile::Line(lines, lineOf(i));
    return names;
}

}  // namespace

void RoutingMatrixWindow::SaveBackupTo(const QString& path)
{
    Routing::TRoutingBackup backup;
    backup.port = SettingsFile::Line(nameLines_, SettingsLayout::kPortLine);
    backup.inputNames = Names(nameLines_, SettingsLayout::InputNameLine);
    backup.outputNames = Names(nameLines_, SettingsLayout::OutputNameLine);
    backup.cells = MatrixCells();
    try {
        Routing::SaveBackup(path, backup);
    } catch (const Routing::EBackupError& e) {
        QMessageBox::warning(this, kQuestionTitle, QStringLiteral("Nie zapisano pliku.\n%1").arg(e.Text()));
    }
}

void RoutingMatrixWindow::LoadBackupFrom(const QString& path)
{
    Routing::TRoutingBackup backup;
    try {
        backup = Routing::LoadBackup(path);
    } catch (const Routing::EBackupError& e) {
        const QString where = e.Line() > 0 ? QStringLiteral("Wiersz %1: ").arg(e.Line()) : QString();
        QMessageBox::warning(this, kQuestionTitle,
                             QStringLiteral("Nie wczytano pliku „%1”.\n%2%3").arg(path, where, e.Text()));
        return;
    }
    SetMatrixCells(backup.cells);
    const QStringList differences = Routing::NameDifferences(
        backup, Names(nameLines_, SettingsLayout::InputNameLine), Names(nameLines_, SettingsLayout::OutputNameLine));
    if (!differences.isEmpty())
        QMessageBox::warning(this, kQuestionTitle,
                             QStringLiteral("Połączenia wczytano. Nazwy w pliku różnią się od nazw w config.ini "
                                            "i nie zostały przejęte:\n%1")
                                 .arg(differences.join(QLatin1Char('\n'))));
}

void RoutingMatrixWindow::PrintTo(const QString& path)
{
    Routing::TRoutingSheet sheet;
    sheet.cells = MatrixCells();
    sheet.inputNames = Names(nameLines_, SettingsLayout::InputNameLine);
    sheet.outputNames = Names(nameLines_, SettingsLayout::OutputNameLine);
    sheet.port = SettingsFile::Line(nameLines_, SettingsLayout::kPortLine);
    sheet.printed = QDateTime::currentDateTime();
    try {
        Routing::WriteSheetPdf(path, sheet);
    } catch (const std::exception& e) {
        QMessageBox::warning(this, kQuestionTitle, QStringLiteral("Nie zapisano pliku PDF.\n%1").arg(QString::fromUtf8(e.what())));
    }
}

// --- Window ---

void RoutingMatrixWindow::FinishClosing()
{
    tableRead_->Cancel();
    loading_ = false;
    writeFlow_->CancelRead();
    SetBusy(false);
    emit Closed();
    if (view_)
        view_->hide();
}

void RoutingMatrixWindow::reject()
{
    // Escape closes the window the same way as its close button, so the main window comes back.
    close();
}

void RoutingMatrixWindow::closeEvent(QCloseEvent* event)
{
    FinishClosing();
    event->accept();
}

void RoutingMatrixWindow::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
    event->accept();
}

void RoutingMatrixWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FitToOuterSize(*this, {kOuterWidth, kOuterHeight});
}

void RoutingMatrixWindow::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    // The window manager's frame is known only once the window is up.
    FitToOuterSize(*this, {kOuterWidth, kOuterHeight});
}


void RoutingMatrixWindow::ScrollToFocused(QWidget* now)
{
    if (now && ScrollBox->widget() && ScrollBox->widget()->isAncestorOf(now))
        ScrollBox->ensureWidgetVisible(now, 16, 0);
}
