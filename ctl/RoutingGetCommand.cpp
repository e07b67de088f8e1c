#include "BackupFiles.h"
#include "Commands.h"
#include "ControllerLine.h"

void RunRoutingGet(const TCtlRequest& request)
{
    Routing::TRoutingBackup backup;
    backup.port = request.port;
    // The names are read first: a wrong path should not cost a trip to the controller.
    if (!request.namesFile.isEmpty()) {
        const TChannelNames names = ReadNames(request.namesFile);
        backup.inputNames = names.inputs;
        backup.outputNames = names.outputs;
    }
    {
        TControllerLine line(request.port, request.timeoutMs);
        line.Open();
        backup.cells = line.ReadTable();
    }
    WriteBackupFile(request.file, backup);
}
