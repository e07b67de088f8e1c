#include "LockScreen.h"

#include "JpegImage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

#include <cstddef>

// Generated at build time from assets/padlock/padlock.jpg.
extern const unsigned char konf_padlock_jpeg[];
extern const std::size_t konf_padlock_jpeg_size;

namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
}

QByteArray TLockScreen::PadlockJpeg()
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(konf_padlock_jpeg),
                                   qsizetype(konf_padlock_jpeg_size));
}

TLockScreen::TLockScreen(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("sPanel10"));
    setGeometry(0, 0, 604, 371);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    // Opaque, so nothing of the window beneath shows through or takes a click.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSilver);
    setPalette(pal);

    PicturePanel = new QFrame(this);
    PicturePanel->setObjectName(QStringLiteral("sPanel11"));
    PicturePanel->setGeometry(48, 64, 505, 189);
    PicturePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PicturePanel->setAutoFillBackground(true);

    Image1 = new QLabel(PicturePanel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(4, 4, 497, 181);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setAccessibleName(QStringLiteral("Program zablokowany"));
    const QImage padlock = JpegImage::Decode(PadlockJpeg());
    if (!padlock.isNull())
        Image1->setPixmap(QPixmap::fromImage(padlock));

    CodePanel = new QFrame(this);
    CodePanel->setObjectName(QStringLiteral("sPanel12"));
    CodePanel->setGeometry(48, 256, 505, 41);
    CodePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    CodePanel->setAutoFillBackground(true);

    sEdit1 = new QLineEdit(CodePanel);
    sEdit1->setObjectName(QStringLiteral("sEdit1"));
    sEdit1->setGeometry(8, 10, 343, 21);
    sEdit1->setEchoMode(QLineEdit::Password);
    // Every typed character shows as '*', whatever the style's own mask character is.
    sEdit1->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    QPalette editPal = sEdit1->palette();
    editPal.setColor(QPalette::Base, Qt::white);
    sEdit1->setPalette(editPal);
    sEdit1->setAccessibleName(QStringLiteral("Kod odblokowania"));

    sButton6 = new QPushButton(QStringLiteral("Odblokuj"), CodePanel);
    sButton6->setObjectName(QStringLiteral("sButton6"));
    sButton6->setGeometry(359, 8, 138, 25);
}

bool TLockScreen::focusNextPrevChild(bool next)
{
    QWidget* target = sEdit1->hasFocus() ? static_cast<QWidget*>(sButton6) : sEdit1;
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void TLockScreen::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    sEdit1->setFocus(Qt::OtherFocusReason);
}
