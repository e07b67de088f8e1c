#include "RoutingCell.h"

#include <QPainter>

namespace {

const QColor kAddedTint(0xC8, 0xEE, 0xC8);
const QColor kAddedFrame(0x1E, 0x7A, 0x1E);
const QColor kRemovedTint(0xF6, 0xCC, 0xC8);
const QColor kRemovedFrame(0xB0, 0x20, 0x20);

}  // namespace

TRoutingCell::TRoutingCell(QWidget* parent) : QCheckBox(parent) {}

void TRoutingCell::SetMark(Mark mark)
{
    if (mark == mark_)
        return;
    mark_ = mark;
    switch (mark_) {
    case Mark::None:
        setAccessibleDescription(QString());
        setToolTip(QString());
        break;
    case Mark::Added:
        setAccessibleDescription(QStringLiteral("Zmiana: nowe połączenie, sterownik go nie ma"));
        setToolTip(accessibleDescription());
        break;
    case Mark::Removed:
        setAccessibleDescription(QStringLiteral("Zmiana: połączenie zostanie usunięte ze sterownika"));
        setToolTip(accessibleDescription());
        break;
    }
    update();
}

void TRoutingCell::paintEvent(QPaintEvent* event)
{
    if (mark_ == Mark::None) {
        QCheckBox::paintEvent(event);
        return;
    }
    const bool added = mark_ == Mark::Added;
    {
        QPainter tint(this);
        tint.fillRect(rect(), added ? kAddedTint : kRemovedTint);
    }
    QCheckBox::paintEvent(event);
    QPainter frame(this);
    QPen pen(added ? kAddedFrame : kRemovedFrame, 2, added ? Qt::SolidLine : Qt::DashLine);
    frame.setPen(pen);
    frame.drawRect(rect().adjusted(1, 1, -1, -1));
}
