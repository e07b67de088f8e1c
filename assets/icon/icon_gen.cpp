// Draws the application icon: a 4 x 4 grid of lamps, some lit, on a steel-blue tile, after the
// controller's routing table. Writes konfigurator.svg and konfigurator-N.png for each size into
// the given folder. Usage: icon-gen <output folder>
// The SVG and every PNG come from one list of shapes. The PNGs snap the grid to whole pixels
// for their size, so the small ones stay sharp instead of blurring into a grey square.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kDesignSize = 256;
constexpr int kPngSizes[] = {KONF_ICON_SIZES};   // the installed sizes, from icon.cmake

// Which lamps are lit, row by row: a routing table with a few connections.
constexpr bool kLit[4][4] = {
    {true, false, true, false},
    {false, true, false, false},
    {false, false, true, true},
    {true, false, false, true},
};

struct Shape {
    QRectF rect;
    qreal radius;
    QColor top;      // vertical gradient from top to bottom; equal colours for a flat fill
    QColor bottom;
    QColor stroke;   // invalid for none
    qreal strokeWidth;
};

qreal Snap(qreal v, bool snap) { return snap ? std::round(v) : v; }

// The icon at `size` pixels. With `snap` every edge lies on a whole pixel.
std::vector<Shape> Shapes(int size, bool snap)
{
    const qreal k = qreal(size) / kDesignSize;
    std::vector<Shape> shapes;

    const qreal margin = snap ? std::max(1.0, Snap(14 * k, true)) : 14 * k;
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    shapes.push_back({tile, 40 * k, QColor(0x3A, 0x6F, 0x93), QColor(0x16, 0x35, 0x4C),
        QColor(0x0D, 0x22, 0x33), std::max(1.0, 4 * k)});
    if (size >= 48) {
        // A soft sheen on the upper half; too fine to show on the small sizes.
        const QRectF sheen(tile.left() + 10 * k, tile.top() + 8 * k, tile.width() - 20 * k, tile.height() * 0.42);
        shapes.push_back({sheen, 32 * k, QColor(255, 255, 255, 46), QColor(255, 255, 255, 0), QColor(), 0});
    }

    // The lamps: cell and gap in whole pixels when snapping, centred on the tile.
    qreal cell = 38 * k, gap = 12 * k;
    if (snap) {
        gap = std::max(1.0, std::floor(gap));
        cell = std::max(2.0, std::round((4 * 38 * k + 3 * 12 * k - 3 * gap) / 4));
    }
    const qreal grid = 4 * cell + 3 * gap;
    const qreal origin = Snap(tile.left() + (tile.width() - grid) / 2, snap);
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            const QRectF lamp(origin + col * (cell + gap), origin + row * (cell + gap), cell, cell);
            const qreal radius = size >= 32 ? cell * 0.22 : 0;
            if (kLit[row][col])
                shapes.push_back({lamp, radius, QColor(0xFF, 0xDC, 0x6E), QColor(0xEE, 0x9A, 0x18),
                    size >= 48 ? QColor(0x8A, 0x54, 0x06) : QColor(), std::max(1.0, 2 * k)});
            else
                shapes.push_back({lamp, radius, QColor(255, 255, 255, 44), QColor(255, 255, 255, 30), QColor(), 0});
        }
    }
    return shapes;
}

void Paint(QPainter& p, const std::vector<Shape>& shapes)
{
    p.setRenderHint(QPainter::Antialiasing);
    for (const Shape& s : shapes) {
        QLinearGradient fill(s.rect.topLeft(), s.rect.bottomLeft());
        fill.setColorAt(0, s.top);
        fill.setColorAt(1, s.bottom);
        p.setBrush(fill);
        if (s.stroke.isValid()) {
            p.setPen(QPen(s.stroke, s.strokeWidth));
            const qreal in = s.strokeWidth / 2;
            p.drawRoundedRect(s.rect.adjusted(in, in, -in, -in), s.radius, s.radius);
        } else {
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(s.rect, s.radius, s.radius);
        }
    }
}

QString Hex(const QColor& c) { return c.name(QColor::HexRgb); }
QString Num(qreal v) { return QString::number(v, 'g', 6); }

QString Svg(const std::vector<Shape>& shapes)
{
    QString defs, body;
    QTextStream d(&defs), b(&body);
    int id = 0;
    for (const Shape& s : shapes) {
        const QString gradient = QStringLiteral("g%1").arg(id++);
        d << "    <linearGradient id=\"" << gradient << "\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
          << "      <stop offset=\"0\" stop-color=\"" << Hex(s.top) << "\" stop-opacity=\"" << Num(s.top.alphaF()) << "\"/>\n"
          << "      <stop offset=\"1\" stop-color=\"" << Hex(s.bottom) << "\" stop-opacity=\"" << Num(s.bottom.alphaF()) << "\"/>\n"
          << "    </linearGradient>\n";
        const qreal in = s.stroke.isValid() ? s.strokeWidth / 2 : 0;
        const QRectF r = s.rect.adjusted(in, in, -in, -in);
        b << "  <rect x=\"" << Num(r.x()) << "\" y=\"" << Num(r.y()) << "\" width=\"" << Num(r.width())
          << "\" height=\"" << Num(r.height()) << "\" rx=\"" << Num(s.radius) << "\" fill=\"url(#" << gradient << ")\"";
        if (s.stroke.isValid())
            b << " stroke=\"" << Hex(s.stroke) << "\" stroke-width=\"" << Num(s.strokeWidth) << "\"";
        b << "/>\n";
    }
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
                          "  <defs>\n%2  </defs>\n%3</svg>\n")
        .arg(kDesignSize)
        .arg(defs, body);
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QString svgPath = dir.filePath(QStringLiteral("konfigurator.svg"));
    if (!Write(svgPath, Svg(Shapes(kDesignSize, false)).toUtf8())) {
        std::fprintf(stderr, "icon-gen: cannot write %s\n", qPrintable(svgPath));
        return 1;
    }
    for (int size : kPngSizes) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            Paint(p, Shapes(size, size < kDesignSize));
        }
        const QString path = dir.filePath(QStringLiteral("konfigurator-%1.png").arg(size));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "icon-gen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
