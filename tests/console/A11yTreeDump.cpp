// Writes the accessibility tree of every console window to a file (or standard output), so that
// a change meant to be invisible can be checked by comparing two dumps. Runs headless:
//   QT_QPA_PLATFORM=offscreen a11y-tree-dump out.txt
// It works in a temporary folder with a config.ini whose port does not exist, as a user who
// starts the console with the controller unplugged.
#include "AboutBox.h"
#include "ConfigFile.h"
#include "ConsoleLine.h"
#include "ConsoleLook.h"
#include "ConsoleWindows.h"
#include "MainWindow.h"
#include "NamingDialog.h"
#include "RoutingMatrixWindow.h"
#include "RoutingTableView.h"
#include "SettingsFile.h"
#include "WorkingFolder.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMetaEnum>
#include <QTextStream>


namespace {

QString StateText(const QAccessible::State& s)
{
    QStringList on;
    const std::pair<bool, const char*> flags[] = {
        {s.disabled, "disabled"},     {s.selected, "selected"},       {s.focusable, "focusable"},
        {s.focused, "focused"},       {s.pressed, "pressed"},         {s.checkable, "checkable"},
        {s.checked, "checked"},       {s.checkStateMixed, "mixed"},   {s.readOnly, "readOnly"},
        {s.hotTracked, "hotTracked"}, {s.defaultButton, "default"},   {s.expanded, "expanded"},
        {s.collapsed, "collapsed"},   {s.busy, "busy"},               {s.expandable, "expandable"},
        {s.marqueed, "marqueed"},     {s.animated, "animated"},       {s.invisible, "invisible"},
        {s.offscreen, "offscreen"},   {s.sizeable, "sizeable"},       {s.movable, "movable"},
        {s.selfVoicing, "selfVoicing"}, {s.selectable, "selectable"}, {s.linked, "linked"},
        {s.traversed, "traversed"},   {s.multiSelectable, "multiSelectable"},
        {s.extSelectable, "extSelectable"}, {s.passwordEdit, "password"}, {s.hasPopup, "hasPopup"},
        {s.modal, "modal"},           {s.active, "active"},           {s.invalid, "invalid"},
        {s.editable, "editable"},     {s.multiLine, "multiLine"},     {s.selectableText, "selectableText"},
        {s.supportsAutoCompletion, "autoCompletion"}, {s.searchEdit, "searchEdit"},
    };
    for (const auto& [set, name] : flags)
        if (set)
            on << QLatin1String(name);
    return on.join(QLatin1Char(','));
}

QString Quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void Dump(QTextStream& out, QAccessibleInterface* node, int index, int depth)
{
    if (!node || !node->isValid() || depth > 40)
        return;
    const QRect r = node->rect();
    const QString role = QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(node->role()));
    out << QString(depth * 2, QLatin1Char(' ')) << '[' << index << "] " << role
        << " name=" << Quoted(node->text(QAccessible::Name))
        << " description=" << Quoted(node->text(QAccessible::Description))
        << " value=" << Quoted(node->text(QAccessible::Value))
        << " accelerator=" << Quoted(node->text(QAccessible::Accelerator))
        << " state=" << StateText(node->state())
        << " rect=" << r.x() << ',' << r.y() << ',' << r.width() << 'x' << r.height() << '\n';
    const int count = node->childCount();
    for (int i = 0; i < count; ++i)
        Dump(out, node->child(i), i, depth + 1);
}

void DumpWindow(QTextStream& out, const char* title, QWidget* window)
{
    window->show();
    out << "=== " << title << '\n';
    Dump(out, QAccessible::queryAccessibleInterface(window), 0, 0);
    // Pop-up menus are windows of their own, outside their owner's tree.
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        out << "--- menu of " << title << '\n';
        Dump(out, QAccessible::queryAccessibleInterface(menu), 0, 1);
    }
    // The Tab key's path through the window.
    out << "--- tab order of " << title << '\n';
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        if (w->window() != window || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(w);
        const QRect r = node ? node->rect() : QRect();
        out << "  " << (node ? QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(node->role())) : QString())
            << ' ' << Quoted(node ? node->text(QAccessible::Name) : QString()) << " rect=" << r.x() << ','
            << r.y() << ',' << r.width() << 'x' << r.height() << '\n';
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Konfigurator"));
    ApplyConsoleLook();

    TWorkingFolder folder;
    TConfigFile config;
    config.port = folder.FilePath(QStringLiteral("no-device"));
    if (!folder.IsValid() || !config.Write(SettingsFile::kFileName))
        return 1;

    TConsoleLine line;
    TConsoleWindows windows(line);

    QFile file;
    if (argc > 1) {
        file.setFileName(QString::fromLocal8Bit(argv[1]));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
    } else if (!file.open(stdout, QIODevice::WriteOnly)) {
        return 1;
    }
    QTextStream out(&file);
    DumpWindow(out, "main window", &windows.Main());
    DumpWindow(out, "about box", &windows.About());
    DumpWindow(out, "routing matrix", &windows.Matrix());
    DumpWindow(out, "routing table view", &windows.TableView());
    DumpWindow(out, "naming dialog", &windows.Naming());
    out.flush();
    return 0;
}
