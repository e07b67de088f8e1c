#pragma once
#include <QString>

class TComPort;

// The controller's line: 9600 bit/s, 8 data bits, no parity, one stop bit, no handshake, DTR and
// RTS off, on `device`. Taken at the next opening.
void SetUpControllerLine(TComPort& port, const QString& device);
