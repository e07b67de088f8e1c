#include "ColumnHeader.h"

#include <QStyleOptionButton>
#include <QStylePainter>

TColumnHeader::TColumnHeader(QWidget* parent) : QCheckBox(parent)
{
    // A title, not a control: it keeps its state and stays out of the tab order.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TColumnHeader::SetCaption(const QString& caption)
{
    setText(caption);
    Describe();
}

void TColumnHeader::SetChanges(int changes)
{
    if (changes == changes_)
        return;
    changes_ = changes;
    Describe();
    update();
}

QString TColumnHeader::Suffix() const
{
    return changes_ > 0 ? QStringLiteral(" (%1)").arg(changes_) : QString();
}

void TColumnHeader::Describe()
{
    setToolTip(changes_ > 0 ? QStringLiteral("%1\nZmienione połączenia: %2").arg(text()).arg(changes_) : text());
    setAccessibleName(text());
    setAccessibleDescription(changes_ > 0 ? QStringLiteral("Zmienione połączenia: %1").arg(changes_) : QString());
}

void TColumnHeader::FitWidth(int maxWidth)
{
    const int wanted = sizeHint().width() + fontMetrics().horizontalAdvance(Suffix());
    resize(qMin(wanted, maxWidth), height());
}

QString TColumnHeader::DisplayedText() const
{
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect room = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
    const QString suffix = Suffix();
    const QFontMetrics fm = fontMetrics();
    return fm.elidedText(text(), Qt::ElideRight, room.width() - fm.horizontalAdvance(suffix)) + suffix;
}

void TColumnHeader::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text = DisplayedText();
    painter.drawControl(QStyle::CE_CheckBox, opt);
}

void TColumnHeader::resizeEvent(QResizeEvent* event)
{
    QCheckBox::resizeEvent(event);
    update();
}
