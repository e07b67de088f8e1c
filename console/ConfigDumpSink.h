#pragma once
#include <QString>

// Where the parser puts the lines of a routing-table reply: the current-configuration view.
class IConfigDumpSink {
public:
    virtual ~IConfigDumpSink() = default;
    virtual void AppendDumpLine(const QString& line) = 0;
};
