#pragma once
#include <QFrame>

class QLabel;
class QProgressBar;

// Shows how far a routing write has got while the pass holds the GUI thread. It is repainted
// directly as each character goes, since no events are processed until the pass returns.
class TPassProgress : public QFrame {
    Q_OBJECT
public:
    explicit TPassProgress(int total, QWidget* parent);

    // Shows the indicator centred over its parent with `sent` of the total done.
    void Begin(int sent = 0);
    // Updates the count and repaints at once.
    void SetSent(int sent);
    void End();

    int Sent() const { return sent_; }
    int Total() const { return total_; }
    QString Text() const;

private:
    int total_;
    int sent_ = 0;
    QLabel* label_;
    QProgressBar* bar_;
};
