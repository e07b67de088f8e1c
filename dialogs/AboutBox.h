#pragma once
#include <QDialog>

class QLabel;

// About box: who made the program, how to reach them, and what it is for.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* sLabel1;   // authorship
    QLabel* sLabel2;   // contact
    QLabel* sLabel3;   // the device the program serves
};
