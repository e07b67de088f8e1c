#pragma once
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

#include "ColumnHeader.h"
#include "RoutingCell.h"
#include "RoutingCells.h"
#include "RoutingPass.h"

class QAction;
class QCheckBox;
class QMenu;
class QScrollArea;
class TControllerSession;
class RoutingTableView;
class TPassProgress;
class TRoutingTableRead;
class TRoutingWriteFlow;
namespace Routing {
struct TRoutingChanges;
}

// The routing matrix window: one column per input, one cell per output in each column. Created
// once at start and opened modally from the main window; the cells keep their state all run.
//
// Once the controller's table is known (read with F4, before every F2, or a clean F3 reply),
// every cell that differs from it is marked and each column header counts its changes. F2 asks
// first when the table could not be read or the write would remove connections.
class RoutingMatrixWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOuterWidth = 610;
    static constexpr int kOuterHeight = 361;
    explicit RoutingMatrixWindow(QWidget* parent = nullptr);
    ~RoutingMatrixWindow() override;

    // Called once all windows exist: the conversation with the controller, and the view.
    void Bind(TControllerSession* session, RoutingTableView* view);

    // Handlers.
    void ShowNames();
    void SaveToController();                  // F2: read the controller's table, ask if needed, write
    void ShowControllerTable();        // F3
    void LoadFromController();     // F4: the controller's table into the cells
    void SaveToFile();           // Ctrl+S
    void LoadFromFile();           // Ctrl+O
    void PrintToPdf();
    void FinishClosing();

    // The routing write itself, without reading or asking first. Throws when a write fails.
    void WriteMatrix();

    // The file parts of the handlers, once the user has picked the file.
    void SaveBackupTo(const QString& path);
    void LoadBackupFrom(const QString& path);
    void PrintTo(const QString& path);

    // Cell of input k and output j, column header and panel of input k (all 1-based).
    TRoutingCell* Cell(int input, int output) const;
    TColumnHeader* ColumnHeader(int input) const;
    QWidget* Column(int input) const;

    Routing::TRoutingCells MatrixCells() const;
    void SetMatrixCells(const Routing::TRoutingCells& cells);
    // The table the controller was last known to hold, if any.
    const std::optional<Routing::TRoutingCells>& ControllerTable() const { return controllerTable_; }

    // The names the captions came from: config.ini as it was at creation, or the defaults.
    const QStringList& NameLines() const { return nameLines_; }

    // Pacing of the routing write and how it waits; tests shorten or observe them.
    Routing::TRoutingPacing Pacing;
    std::function<void(Routing::PassClock::time_point deadline)> SleepUntil;
    TRoutingTableRead* TableRead() const { return tableRead_; }
    TRoutingWriteFlow* WriteFlow() const { return writeFlow_; }

    TPassProgress* Progress() const { return progress_; }

    void reject() override;

    static const QString kQuestionTitle;
    static const QString kReadFailed;          // F4 could not read the table
    static const QString kUnreadBeforeWrite;   // F2 could not read it
    static const QString kWriteNotConfirmed;   // the pass broke or no '?' came

signals:
    // The window has closed (FinishClosing): whoever opened it takes over again.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    QMenu* PopupMenu1 = nullptr;
    QAction* Zapisz1 = nullptr;
    QAction* Stankonfiguracji1 = nullptr;
    QAction* Wczytajzesterownika1 = nullptr;
    QAction* Zapiszdopliku1 = nullptr;
    QAction* Wczytajzpliku1 = nullptr;
    QAction* DrukujdoPDF1 = nullptr;
    QScrollArea* ScrollBox = nullptr;

    void BuildColumns();
    void BuildMenu();
    void ScrollToFocused(QWidget* now);
    void SetBusy(bool busy);

    void OnDumpComplete(const QByteArray& raw);
    void OnTableRead(const Routing::TRoutingCells& table);
    void OnTableReadFailed();
    void BuildWriteFlow();
    bool ConfirmWrite(const std::optional<Routing::TRoutingCells>& held, const Routing::TRoutingChanges& changes);
    void UpdateMarks();

    QStringList nameLines_;
    QWidget* columns_[16] = {};
    TColumnHeader* headers_[16] = {};
    TRoutingCell* cells_[16][16] = {};
    TPassProgress* progress_ = nullptr;

    std::optional<Routing::TRoutingCells> controllerTable_;
    TRoutingTableRead* tableRead_ = nullptr;
    bool loading_ = false;   // F4's read, not the one before a write
    TRoutingWriteFlow* writeFlow_ = nullptr;

    QPointer<TControllerSession> session_;
    QPointer<RoutingTableView> view_;
};
