#include "AboutBox.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int width)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(pal);
    label->setGeometry(x, y, width, 16);
    return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Selvora"));
    setFixedSize(420, 56);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(pal);

    sLabel1 = MakeLabel(this, "sLabel1", QStringLiteral("Konfigurator \u00a9 zespół Selvora"), 8, 8, 250);
    sLabel2 = MakeLabel(this, "sLabel2", QStringLiteral("kontakt@selvora.example"), 264, 8, 150);
    sLabel3 = MakeLabel(this, "sLabel3",
                        QStringLiteral("Program jest przeznaczony do pracy ze sterownikiem Selvora."),
                        8, 32, 406);
}

void AboutBox::showEvent(QShowEvent* event)
{
    // Centred on the screen each time it opens, whatever window it was opened from.
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}
