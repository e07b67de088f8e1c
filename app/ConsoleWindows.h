#pragma once
#include <memory>

class AboutBox;
class MainWindow;
class NamingDialog;
class RoutingMatrixWindow;
class RoutingTableView;
class TConsoleLine;

// Every window of the console, created once and wired to the line. The main window comes first:
// its start-up runs in its constructor, before the others exist. Destroyed in the reverse order.
class TConsoleWindows {
public:
    explicit TConsoleWindows(TConsoleLine& line);
    ~TConsoleWindows();
    TConsoleWindows(const TConsoleWindows&) = delete;
    TConsoleWindows& operator=(const TConsoleWindows&) = delete;

    MainWindow& Main() { return *main_; }
    AboutBox& About() { return *about_; }
    RoutingMatrixWindow& Matrix() { return *matrix_; }
    RoutingTableView& TableView() { return *tableView_; }
    NamingDialog& Naming() { return *naming_; }

private:
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<AboutBox> about_;
    std::unique_ptr<RoutingMatrixWindow> matrix_;
    std::unique_ptr<RoutingTableView> tableView_;
    std::unique_ptr<NamingDialog> naming_;
};
