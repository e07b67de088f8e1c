#pragma once
#include <QDialog>
#include <QPointer>

class QFrame;
class QPlainTextEdit;
class QPushButton;
class TControllerSession;
class RoutingMatrixWindow;

// The current-configuration view: the controller's routing table as text, one line per output,
// appended by the parser as the reply arrives. It sits directly under the matrix window.
class RoutingTableView : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOuterWidth = 611;
    static constexpr int kOuterHeight = 212;
    // The view's top is this far below the matrix window's top: the matrix window's height.
    static constexpr int kBelowMatrix = 361;

    explicit RoutingTableView(QWidget* parent = nullptr);
    ~RoutingTableView() override;

    // Called once all windows exist. The view shows the session's routing-table reply lines.
    // It becomes a child window of the matrix window so that it stays usable while the matrix
    // window is modal; the matrix window hands it back when destroyed, so the view stays owned
    // by whoever created it.
    void Bind(TControllerSession* session, RoutingMatrixWindow* matrix);

    // Clears the text, shows the view and asks the controller for its routing table ("C").
    void Request();

    void HideView();
    void Refresh();
    void FinishClosing();

    void AppendDumpLine(const QString& line);

    // Keeps the view under the matrix window.
    void PlaceBelowMatrix();

    // Empties the text, as a new reply begins.
    void ClearText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    QFrame* sPanel1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* sButton1 = nullptr;   // "Zamknij okno"
    QPushButton* sButton2 = nullptr;   // "Aktualizuj"


    QPointer<TControllerSession> session_;
    QPointer<RoutingMatrixWindow> matrix_;
};
