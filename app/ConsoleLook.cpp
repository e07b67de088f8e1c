#include "ConsoleLook.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

void ApplyConsoleLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette silver = QApplication::style()->standardPalette();
    const QColor kSilver(0xC0, 0xC0, 0xC0);
    silver.setColor(QPalette::Window, kSilver);
    silver.setColor(QPalette::Button, kSilver);
    QApplication::setPalette(silver);
    // One face for every window, with the widths the captions were fitted to (Arial's).
#ifdef _WIN32
    // A Windows PC seldom has Liberation Sans; Arial, which it always has, is the same widths.
    QFont::insertSubstitution(QStringLiteral("Liberation Sans"), QStringLiteral("Arial"));
#endif
    QFont uiFont(QStringLiteral("Liberation Sans"));
    uiFont.setPixelSize(11);
    QApplication::setFont(uiFont);
}
