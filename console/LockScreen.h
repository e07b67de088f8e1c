#pragma once
#include <QByteArray>
#include <QFrame>

class QLabel;
class QLineEdit;
class QPushButton;

// The panel that covers the whole main window while the console is locked: the padlock
// picture and the row with the code field and "Odblokuj". It only shows things; deciding
// when it is visible and checking the code is the main window's business.
class TLockScreen : public QFrame {
    Q_OBJECT
public:
    explicit TLockScreen(QWidget* parent = nullptr);

    QFrame* PicturePanel;   // 505 x 189 at 48/64
    QLabel* Image1;         // the padlock, 497 x 181
    QFrame* CodePanel;      // 505 x 41 at 48/256
    QLineEdit* sEdit1;      // code field, every character shown as '*'
    QPushButton* sButton6;  // "Odblokuj"

    // The padlock JPEG carried inside the program.
    static QByteArray PadlockJpeg();

protected:
    // Tab and Backtab go round the code field and the button only, never to the window beneath.
    bool focusNextPrevChild(bool next) override;
    // The code field takes the keyboard as soon as the panel appears.
    void showEvent(QShowEvent* event) override;
};
