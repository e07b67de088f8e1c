#pragma once
#include <QDialog>
#include <QPointer>

#include "ConfigDumpSink.h"

class QFrame;
class QPlainTextEdit;
class QPushButton;
class TCustomComPort;
class TForm2;

// The current-configuration view: the controller's routing table as text, one line per output,
// appended by the parser as the reply arrives. It sits directly under the matrix window.
class TForm3 : public QDialog, public IConfigDumpSink {
    Q_OBJECT
public:
    static constexpr int kOuterWidth = 611;
    static constexpr int kOuterHeight = 212;
    // The view's top is this far below the matrix window's top: the matrix window's height.
    static constexpr int kBelowMatrix = 361;

    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // Called once all windows exist. The view becomes a child window of the matrix window so
    // that it stays usable while the matrix window is modal; the matrix window hands it back
    // when destroyed, so the view stays owned by whoever created it.
    void Bind(TCustomComPort* port, TForm2* matrix);

    // Clears the text, shows the view, sends "C" and raises ConfigDumpActive.
    void Request();

    void sButton1Click();
    void sButton2Click();
    void FormClose();

    void AppendDumpLine(const QString& line) override;

    // Keeps the view under the matrix window.
    void PlaceBelowMatrix();

    QFrame* sPanel1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* sButton1 = nullptr;   // "Zamknij okno"
    QPushButton* sButton2 = nullptr;   // "Aktualizuj"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FitOuterSize();

    QPointer<TCustomComPort> port_;
    QPointer<TForm2> matrix_;
};
