#include "IntroLayer.h"

#include <QImageReader>
#include <QLinearGradient>
#include <QMovie>
#include <QPainter>
#include <QTimer>

#include <cmath>

TIntroLayer::TIntroLayer(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    frameTimer_ = new QTimer(this);
    frameTimer_->setInterval(kFrameIntervalMs);
    connect(frameTimer_, &QTimer::timeout, this, [this] {
        ++frame_;
        update();
    });
}

void TIntroLayer::SetMovie(const QString& path)
{
    path_ = path;
    delete movie_;
    movie_ = nullptr;
    frame_ = 0;
    // The file's name says nothing about its content; let the content decide.
    QImageReader probe(path);
    probe.setDecideFormatFromContent(true);
    if (probe.canRead() && probe.supportsAnimation()) {
        movie_ = new QMovie(path, probe.format(), this);
        movie_->setCacheMode(QMovie::CacheNone);
        connect(movie_, &QMovie::frameChanged, this, qOverload<>(&QWidget::update));
        if (!movie_->isValid()) {
            delete movie_;
            movie_ = nullptr;
        }
    }
    playing_ = true;
    UpdateRunning();
    update();
}

void TIntroLayer::Play()
{
    playing_ = true;
    UpdateRunning();
}

void TIntroLayer::Stop()
{
    playing_ = false;
    UpdateRunning();
}

void TIntroLayer::showEvent(QShowEvent*)
{
    UpdateRunning();
}

void TIntroLayer::hideEvent(QHideEvent*)
{
    UpdateRunning();
}

void TIntroLayer::UpdateRunning()
{
    const bool run = playing_ && isVisible();
    if (movie_) {
        frameTimer_->stop();
        if (run && movie_->state() != QMovie::Running)
            movie_->state() == QMovie::Paused ? movie_->setPaused(false) : movie_->start();
        else if (!run && movie_->state() == QMovie::Running)
            movie_->setPaused(true);
        return;
    }
    if (run && !path_.isNull())
        frameTimer_->start();
    else
        frameTimer_->stop();
}

void TIntroLayer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (movie_) {
        p.fillRect(rect(), Qt::black);
        const QPixmap frame = movie_->currentPixmap();
        if (!frame.isNull()) {
            const QSize size = frame.size().scaled(this->size(), Qt::KeepAspectRatio);
            p.drawPixmap(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size),
                         frame);
        }
        return;
    }
    PaintBuiltIn(p);
}

// Sixteen inputs light up in a running wave and pass it on to sixteen outputs.
void TIntroLayer::PaintBuiltIn(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(0x10, 0x24, 0x48));
    bg.setColorAt(1, QColor(0x04, 0x0A, 0x18));
    p.fillRect(rect(), bg);
    if (path_.isNull())
        return;

    const double t = frame_ * kFrameIntervalMs / 1000.0;
    const double fade = std::min(1.0, t / 1.5);
    const int rowY[2] = {height() / 2 - 40, height() / 2 + 50};
    const double pitch = (width() - 120) / 15.0;
    for (int row = 0; row < 2; ++row) {
        for (int k = 0; k < 16; ++k) {
            const double phase = t * 3.0 - k * 0.35 - row * 1.2;
            const double glow = 0.5 + 0.5 * std::sin(phase);
            const QColor on = row == 0 ? QColor(0x40, 0xC0, 0xFF) : QColor(0xFF, 0xC0, 0x40);
            QColor c = on;
            c.setAlphaF(fade * (0.25 + 0.75 * glow));
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            const QPointF centre(60 + k * pitch, rowY[row]);
            if (row == 0)
                p.drawEllipse(centre, 9, 9);
            else
                p.drawRoundedRect(QRectF(centre.x() - 9, centre.y() - 9, 18, 18), 3, 3);
        }
    }
    QColor line(0x80, 0x90, 0xB0);
    line.setAlphaF(fade * 0.4);
    p.setPen(QPen(line, 1));
    for (int k = 0; k < 16; ++k) {
        const int j = (k * 5 + frame_ / 10) % 16;
        p.drawLine(QPointF(60 + k * pitch, rowY[0] + 10), QPointF(60 + j * pitch, rowY[1] - 10));
    }

    QColor text(Qt::white);
    text.setAlphaF(fade);
    p.setPen(text);
    QFont title(font());
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(0, 40, width(), 50), Qt::AlignCenter, QStringLiteral("Selvora"));
    QFont sub(font());
    sub.setPixelSize(15);
    p.setFont(sub);
    p.drawText(QRect(0, height() - 90, width(), 30), Qt::AlignCenter, QStringLiteral("konfigurator"));
}
