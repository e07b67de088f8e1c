#include "Application.h"
#include "CommandLine.h"
#include "StartupProbe.h"

#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Form6.h"

#include <QDirIterator>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

int main(int argc, char** argv)
{
    if (const auto answered = AnswerCommandLine(argc, argv))
        return *answered;

    TApplication app(argc, argv);
    // The application's title. Not set as the display name: Qt would append that to every
    // window caption, and the main window's caption is its clock.
    QApplication::setApplicationName(QStringLiteral("Konfigurator"));
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
    // Every size of the menu's icon, so task bars need not scale one.
    QIcon icon;
    for (QDirIterator sizes(QStringLiteral(":/icon")); sizes.hasNext();)
        icon.addFile(sizes.next());
    QApplication::setWindowIcon(icon);

    // Every window is created once, the main window first; its start-up runs in its
    // constructor, before the others exist. Destroyed in the reverse order.
    auto form1 = std::make_unique<TForm1>();
    auto form4 = std::make_unique<TForm4>();
    auto form2 = std::make_unique<TForm2>();
    auto form3 = std::make_unique<TForm3>();
    auto form6 = std::make_unique<TForm6>();

    form1->SetWindows(form2.get(), form4.get(), form6.get());
    form2->Bind(form1->Session, form3.get());
    form3->Bind(form1->Session, form2.get());
    QObject::connect(form2.get(), &TForm2::Closed, form1.get(), &TForm1::RoutingWindowClosed);

    InstallStartupProbe(form1.get());
    form1->show();
    return app.exec();
}
