#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "RoutingCells.h"

// A one-page printed sheet of a routing table, for the installer to leave in the distribution
// box: the inputs as columns, the outputs as rows, with their names, the date and the port.
namespace Routing {

struct TRoutingSheet {
    TRoutingCells cells;
    QStringList inputNames;    // inputs 1..16
    QStringList outputNames;   // outputs 1..16
    QString port;
    QDateTime printed;
};

// Writes the sheet as a one-page A4 PDF; throws std::runtime_error when the file cannot be made.
void WriteSheetPdf(const QString& path, const TRoutingSheet& sheet);

}  // namespace Routing
