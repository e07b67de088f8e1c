// Draws the padlock picture of the lock screen (497 x 181, a padlock on grey) and writes it as
// a JPEG through libjpeg. Usage: padlock-gen <output.jpg>
// Shapes only, no text, so the output does not depend on the fonts of the machine.
#include "JpegImage.h"

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int kWidth = 497;
constexpr int kHeight = 181;

void DrawBackground(QPainter& p)
{
    QLinearGradient bg(0, 0, 0, kHeight);
    bg.setColorAt(0.0, QColor(0xB4, 0xB4, 0xB4));
    bg.setColorAt(1.0, QColor(0x8C, 0x8C, 0x8C));
    p.fillRect(0, 0, kWidth, kHeight, bg);

    // A few faint bands either side keep the grey from looking flat.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(QColor(255, 255, 255, 18 - 2 * i));
        const int w = 150 - 22 * i;
        p.drawRect(0, 20 + 24 * i, w, 10);
        p.drawRect(kWidth - w, 20 + 24 * i, w, 10);
    }
}

void DrawPadlock(QPainter& p)
{
    const qreal cx = kWidth / 2.0;
    const QRectF body(cx - 62, 78, 124, 90);

    // Shadow on the grey.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(body.translated(6, 6), 12, 12);

    // Shackle: a thick steel arch whose legs go into the body.
    QPainterPath shackle;
    const qreal legX = 40, top = 14, legBottom = 84;
    shackle.moveTo(cx - legX, legBottom);
    shackle.lineTo(cx - legX, top + legX);
    shackle.arcTo(QRectF(cx - legX, top, 2 * legX, 2 * legX), 180, -180);
    shackle.lineTo(cx + legX, legBottom);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x3C, 0x3C, 0x40), 20, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(shackle);
    QLinearGradient steel(cx - legX - 8, 0, cx + legX + 8, 0);
    steel.setColorAt(0.0, QColor(0x6E, 0x70, 0x76));
    steel.setColorAt(0.3, QColor(0xE6, 0xE8, 0xEC));
    steel.setColorAt(0.7, QColor(0x9A, 0x9C, 0xA2));
    steel.setColorAt(1.0, QColor(0x5A, 0x5C, 0x62));
    p.setPen(QPen(QBrush(steel), 15, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(shackle);

    // Brass body.
    QLinearGradient brass(body.topLeft(), body.bottomRight());
    brass.setColorAt(0.0, QColor(0xF4, 0xD2, 0x6A));
    brass.setColorAt(0.45, QColor(0xD4, 0xA0, 0x2C));
    brass.setColorAt(1.0, QColor(0x8A, 0x62, 0x12));
    p.setPen(QPen(QColor(0x5A, 0x3E, 0x08), 2));
    p.setBrush(brass);
    p.drawRoundedRect(body, 12, 12);

    // Highlight along the top edge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawRoundedRect(QRectF(body.left() + 8, body.top() + 5, body.width() - 16, 10), 5, 5);

    // Keyhole.
    const QPointF hole(cx, body.top() + 38);
    QRadialGradient dark(hole, 14);
    dark.setColorAt(0.0, QColor(0x10, 0x0C, 0x04));
    dark.setColorAt(1.0, QColor(0x30, 0x24, 0x0C));
    p.setBrush(dark);
    p.drawEllipse(hole, 11, 11);
    QPainterPath slot;
    slot.moveTo(hole.x() - 5, hole.y() + 4);
    slot.lineTo(hole.x() - 8, hole.y() + 32);
    slot.lineTo(hole.x() + 8, hole.y() + 32);
    slot.lineTo(hole.x() + 5, hole.y() + 4);
    slot.closeSubpath();
    p.drawPath(slot);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.jpg>\n", argv[0]);
        return 2;
    }
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        DrawBackground(p);
        DrawPadlock(p);
    }
    const QByteArray jpeg = JpegImage::Encode(image, 90);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (jpeg.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size()) {
        std::fprintf(stderr, "padlock-gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
