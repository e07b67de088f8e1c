#include "RoutingSheet.h"

#include <QFileInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <stdexcept>

namespace Routing {
namespace {

// Drawn in points on an A4 page in landscape (842 x 595), inside its margins.
constexpr int kMargin = 28;
constexpr int kNameWidth = 190;    // output names, left of the grid
constexpr int kHeaderHeight = 150; // input names, written upwards above the grid
constexpr int kColumn = 34;
constexpr int kRow = 19;

QString NameOf(const QStringList& names, int index, const QString& fallback)
{
    const QString name = index < names.size() ? names.at(index).trimmed() : QString();
    return name.isEmpty() ? fallback : name;
}

}  // namespace

void WriteSheetPdf(const QString& path, const TRoutingSheet& sheet)
{
    QPdfWriter writer(path);
    writer.setTitle(QStringLiteral("Konfiguracja połączeń"));
    writer.setCreator(QStringLiteral("Konfigurator"));
    writer.setResolution(72);   // one device unit per point
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
    QPainter p;
    if (!p.begin(&writer))
        throw std::runtime_error("Cannot create file \"" + path.toStdString() + "\"");

    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(16);
    font.setBold(true);
    p.setFont(font);
    p.drawText(kMargin, kMargin + 14, QStringLiteral("Konfiguracja połączeń sterownika"));
    font.setBold(false);
    font.setPixelSize(10);
    p.setFont(font);
    const QString when = QLocale::system().toString(sheet.printed, QLocale::ShortFormat);
    p.drawText(kMargin, kMargin + 32,
               QStringLiteral("Port: %1      Data: %2      Wiersz: wyjście, kolumna: wejście, "
                              "■ = wejście steruje wyjściem")
                   .arg(sheet.port.isEmpty() ? QStringLiteral("—") : sheet.port, when));

    const QFontMetrics fm(font);
    const int gridLeft = kMargin + kNameWidth;
    const int gridTop = kMargin + 44 + kHeaderHeight;

    // Input names upwards above their columns, numbered.
    for (int k = 1; k <= kInputs; ++k) {
        const QString name = QStringLiteral("%1. %2").arg(k).arg(
            NameOf(sheet.inputNames, k - 1, QStringLiteral("wejście %1").arg(k)));
        p.save();
        p.translate(gridLeft + (k - 1) * kColumn + kColumn / 2 + fm.ascent() / 2 - 1, gridTop - 4);
        p.rotate(-90);
        p.drawText(0, 0, fm.elidedText(name, Qt::ElideRight, kHeaderHeight - 8));
        p.restore();
    }
    // Output names left of their rows, and the cells.
    for (int j = 1; j <= kOutputs; ++j) {
        const int top = gridTop + (j - 1) * kRow;
        const QString name = QStringLiteral("%1. %2").arg(j).arg(
            NameOf(sheet.outputNames, j - 1, QStringLiteral("wyjście %1").arg(j)));
        p.drawText(QRect(kMargin, top, kNameWidth - 6, kRow), Qt::AlignVCenter | Qt::AlignLeft,
                   fm.elidedText(name, Qt::ElideRight, kNameWidth - 6));
        for (int k = 1; k <= kInputs; ++k) {
            const QRect cell(gridLeft + (k - 1) * kColumn, top, kColumn, kRow);
            if (j % 2 == 0)
                p.fillRect(cell, QColor(0xEE, 0xEE, 0xEE));
            if (sheet.cells.At(k, j))
                p.fillRect(cell.adjusted(kColumn / 2 - 6, 3, -(kColumn / 2 - 6), -3), Qt::black);
        }
    }
    p.setPen(QPen(Qt::black, 0.5));
    for (int k = 0; k <= kInputs; ++k)
        p.drawLine(gridLeft + k * kColumn, gridTop - kHeaderHeight, gridLeft + k * kColumn, gridTop + kOutputs * kRow);
    for (int j = 0; j <= kOutputs; ++j)
        p.drawLine(kMargin, gridTop + j * kRow, gridLeft + kInputs * kColumn, gridTop + j * kRow);
    if (!p.end())
        throw std::runtime_error("Cannot write file \"" + path.toStdString() + "\"");
}

}  // namespace Routing
