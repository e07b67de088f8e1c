#include "PassProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TPassProgress::TPassProgress(int total, QWidget* parent)
    : QFrame(parent), total_(total)
{
    setObjectName(QStringLiteral("PassProgress"));
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    label_ = new QLabel(this);
    label_->setAlignment(Qt::AlignCenter);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, total_);
    bar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    resize(280, 64);
    hide();
}

QString TPassProgress::Text() const
{
    return QStringLiteral("Zapisywanie konfiguracji: %1 z %2").arg(sent_).arg(total_);
}

void TPassProgress::Begin(int sent)
{
    if (QWidget* p = parentWidget())
        move((p->width() - width()) / 2, (p->height() - height()) / 2);
    raise();
    show();
    SetSent(sent);
}

void TPassProgress::SetSent(int sent)
{
    sent_ = sent;
    label_->setText(Text());
    bar_->setValue(sent);
    // The event loop is not running during the pass: paint now instead of scheduling it.
    repaint();
}

void TPassProgress::End()
{
    hide();
}
