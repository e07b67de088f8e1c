#pragma once
#include <QString>
#include <QStringList>

#include "RoutingCells.h"
#include "SettingsLayout.h"

// The controller's 16 x 16 routing table as the routing window sees it: which control names
// belong to which input and where the captions come from. Cells and wire positions are in
// RoutingCells.h.
// No widgets and no I/O here.
namespace Routing {

// The controls of one input's column. The form's control numbering does not follow the inputs.
struct ColumnNames {
    const char* panel;    // the column panel
    const char* header;   // the column header check box
    int firstCell;        // number N of "CheckBoxN", the cell of output 1; output j is N + j - 1
};
// Column names of input k (1..16).
const ColumnNames& ColumnOf(int input);
// "CheckBoxN" for the cell of input k and output j.
QString CellObjectName(int input, int output);

using SettingsLayout::InputNameLine;
using SettingsLayout::OutputNameLine;

// The built-in names used when there is no settings file, on the same lines as in the file.
QStringList DefaultNameLines();

// Column header caption of input k: its name followed by " steruje".
QString HeaderCaption(const QStringList& nameLines, int input);
// Caption of every cell of output j: the output's name.
QString CellCaption(const QStringList& nameLines, int output);

}  // namespace Routing
