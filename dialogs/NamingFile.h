#pragma once
#include <QString>
#include <QStringList>

// What the naming and port dialog writes into config.ini, without any widget.
namespace NamingFile {

// The lines of a names text: its pieces between line breaks (CR LF, lone CR, lone LF). A line
// break at the very end ends the last line and adds no empty one; an empty text has no lines.
QStringList SplitLines(const QString& text);

// The settings file as the dialog writes it: separator, port name, separator, the input names,
// two separators, the output names. No lock marker. The names are taken as typed, however
// many lines each text has.
QStringList Compose(const QString& portName, const QString& inputNames,
                    const QString& outputNames);

// The texts the two boxes start with: "1 wejście" ... "16 wejście" and
// "1 urządzenie" ... "16 urządzenie", one name per line, no final line break.
QString DefaultInputNames();
QString DefaultOutputNames();

}  // namespace NamingFile
