#pragma once
#include <QCoreApplication>
#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Nadaj nazwy ...": names of the 16 inputs and 16 outputs and the port name. Saving writes
// config.ini from scratch and ends the program; the names take effect at the next start.
// It never loads the saved names: it keeps whatever was typed earlier in the same run.
class NamingDialog : public QDialog {
    Q_OBJECT
public:
    explicit NamingDialog(QWidget* parent = nullptr);

    // Ends the application after a successful save; tests replace it.
    std::function<void()> OnTerminate = [] { QCoreApplication::quit(); };

    // The text of a names box as typed (no non-breaking spaces turned into blanks).
    static QString BoxText(const QPlainTextEdit* box);

public slots:
    // Writes config.ini in the current directory. A failed write throws
    // SettingsFile::EFileError out of the handler: the old file stays whole, the dialog stays
    // open and neither the restart message nor the end of the program follow.
    void SaveNames();

private:
    QLabel* sLabel1;         // "Wejścia"
    QLabel* sLabel2;         // "Wyjścia"
    QLabel* sLabel3;         // "Wirtualny port COM"
    QPlainTextEdit* Memo1;   // input names, one per line
    QPlainTextEdit* Memo2;   // output names, one per line
    QLineEdit* sEdit1;       // port name
    QPushButton* sButton1;   // "Zapisz"
    QStringList Memo3;       // the file being composed
};
