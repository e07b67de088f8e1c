#include "Application.h"
#include "CommandLine.h"
#include "ConsoleLook.h"
#include "StartupProbe.h"

#include "ConsoleLine.h"
#include "ConsoleWindows.h"
#include "MainWindow.h"

#include <QDirIterator>
#include <QIcon>


int main(int argc, char** argv)
{
    if (const auto answered = AnswerCommandLine(argc, argv))
        return *answered;

    TApplication app(argc, argv);
    // The application's title. Not set as the display name: Qt would append that to every
    // window caption, and the main window's caption is its clock.
    QApplication::setApplicationName(QStringLiteral("Konfigurator"));
    ApplyConsoleLook();
    // Every size of the menu's icon, so task bars need not scale one.
    QIcon icon;
    for (QDirIterator sizes(QStringLiteral(":/icon")); sizes.hasNext();)
        icon.addFile(sizes.next());
    QApplication::setWindowIcon(icon);

    // The line first, the windows on it; the windows go before the line at the end.
    TConsoleLine line;
    TConsoleWindows windows(line);

    InstallStartupProbe(&windows.Main());
    windows.Main().show();
    return app.exec();
}
