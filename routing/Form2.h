#pragma once
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <functional>

#include "RoutingPass.h"

class QAction;
class QCheckBox;
class QMenu;
class QScrollArea;
class QTimer;
class TColumnHeader;
class TControllerSession;
class TForm3;
class TPassProgress;

// The routing matrix window: one column per input, one cell per output in each column. Created
// once at start and opened modally from the main window; the cells keep their state all run.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOuterWidth = 610;
    static constexpr int kOuterHeight = 361;

    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Called once all windows exist: the conversation with the controller, and the view.
    void Bind(TControllerSession* session, TForm3* view);

    // Handlers.
    void FormCreate();
    void Zapisz1Click();
    void Stankonfiguracji1Click();
    void FormClose();

    // Cell of input k and output j, column header and panel of input k (all 1-based).
    QCheckBox* Cell(int input, int output) const;
    TColumnHeader* ColumnHeader(int input) const;
    QWidget* Column(int input) const;

    QMenu* PopupMenu1 = nullptr;
    QAction* Zapisz1 = nullptr;
    QAction* Stankonfiguracji1 = nullptr;
    QScrollArea* ScrollBox = nullptr;

    // The names the captions came from: config.ini as it was at creation, or the defaults.
    const QStringList& NameLines() const { return nameLines_; }

    // Pacing of the routing write and how it waits; tests shorten or observe them.
    Routing::TRoutingPacing Pacing;
    std::function<void(Routing::PassClock::time_point deadline)> SleepUntil;

    TPassProgress* Progress() const { return progress_; }

    void reject() override;

signals:
    // The window has closed (FormClose): whoever opened it takes over again.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void BuildColumns();
    void FitOuterSize();
    void ScrollToFocused(QWidget* now);

    QStringList nameLines_;
    QWidget* columns_[16] = {};
    TColumnHeader* headers_[16] = {};
    QCheckBox* cells_[16][16] = {};
    TPassProgress* progress_ = nullptr;

    QPointer<TControllerSession> session_;
    QPointer<TForm3> view_;
};
