#include "ConsoleWindows.h"

#include "AboutBox.h"
#include "ConsoleLine.h"
#include "MainWindow.h"
#include "NamingDialog.h"
#include "RoutingMatrixWindow.h"
#include "RoutingTableView.h"

TConsoleWindows::TConsoleWindows(TConsoleLine& line)
{
    main_ = std::make_unique<MainWindow>(line.Port(), line.Session(), line.Keeper());
    about_ = std::make_unique<AboutBox>();
    matrix_ = std::make_unique<RoutingMatrixWindow>();
    tableView_ = std::make_unique<RoutingTableView>();
    naming_ = std::make_unique<NamingDialog>();

    main_->SetWindows(matrix_.get(), about_.get(), naming_.get());
    matrix_->Bind(&line.Session(), tableView_.get());
    tableView_->Bind(&line.Session(), matrix_.get());
    QObject::connect(matrix_.get(), &RoutingMatrixWindow::Closed, main_.get(), &MainWindow::RoutingWindowClosed);
}

// The windows go in the reverse of their creation order, the main window last.
TConsoleWindows::~TConsoleWindows() = default;
