#include "RoutingTable.h"

#include "SettingsFile.h"

#include <stdexcept>

namespace Routing {
namespace {

const ColumnNames kColumns[kInputs] = {
    {"sPanel2", "sCheckBox1", 17},    {"sPanel1", "a", 1},
    {"sPanel3", "sCheckBox2", 33},    {"sPanel4", "sCheckBox3", 49},
    {"sPanel5", "sCheckBox4", 65},    {"sPanel6", "sCheckBox5", 81},
    {"sPanel7", "sCheckBox6", 97},    {"sPanel8", "sCheckBox7", 113},
    {"sPanel14", "sCheckBox13", 209}, {"sPanel15", "sCheckBox14", 225},
    {"sPanel9", "sCheckBox8", 129},   {"sPanel10", "sCheckBox9", 145},
    {"sPanel11", "sCheckBox10", 161}, {"sPanel12", "sCheckBox11", 177},
    {"sPanel13", "sCheckBox12", 193}, {"sPanel16", "sCheckBox15", 241},
};

}  // namespace

const ColumnNames& ColumnOf(int input)
{
    if (input < 1 || input > kInputs)
        throw std::out_of_range("routing input out of range");
    return kColumns[input - 1];
}

QString CellObjectName(int input, int output)
{
    if (output < 1 || output > kOutputs)
        throw std::out_of_range("routing output out of range");
    return QStringLiteral("CheckBox%1").arg(ColumnOf(input).firstCell + output - 1);
}

QStringList DefaultNameLines()
{
    QStringList lines;
    for (int i = 0; i <= OutputNameLine(kOutputs); ++i)
        lines.append(QString());
    for (int k = 1; k <= kInputs; ++k)
        lines[InputNameLine(k)] = QStringLiteral("%1 wejście").arg(k);
    for (int j = 1; j <= kOutputs; ++j)
        lines[OutputNameLine(j)] = QStringLiteral("%1 urządzenie").arg(j);
    return lines;
}

QString HeaderCaption(const QStringList& nameLines, int input)
{
    return SettingsFile::Line(nameLines, InputNameLine(input)) + QStringLiteral(" steruje");
}

QString CellCaption(const QStringList& nameLines, int output)
{
    return SettingsFile::Line(nameLines, OutputNameLine(output));
}

}  // namespace Routing
