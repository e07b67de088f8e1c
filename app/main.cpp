#include "Application.h"
#include "CommandLine.h"
#include "StartupProbe.h"

#include "MainWindow.h"
#include "RoutingMatrixWindow.h"
#include "RoutingTableView.h"
#include "AboutBox.h"
#include "NamingDialog.h"

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
    auto mainWindow = std::make_unique<MainWindow>();
    auto aboutBox = std::make_unique<AboutBox>();
    auto matrix = std::make_unique<RoutingMatrixWindow>();
    auto view = std::make_unique<RoutingTableView>();
    auto namingDialog = std::make_unique<NamingDialog>();

    mainWindow->SetWindows(matrix.get(), aboutBox.get(), namingDialog.get());
    matrix->Bind(mainWindow->Session, view.get());
    view->Bind(mainWindow->Session, matrix.get());
    QObject::connect(matrix.get(), &RoutingMatrixWindow::Closed, mainWindow.get(), &MainWindow::RoutingWindowClosed);

    InstallStartupProbe(mainWindow.get());
    mainWindow->show();
    return app.exec();
}
