#pragma once
#include <QByteArray>
#include <QString>

#include <array>
#include <cstdio>

// What selvora-ctl prints: UTF-8 lines, flushed at once so that a script reading a pipe sees
// each line when it happens.
void PrintLine(std::FILE* stream, const QString& line);
void PrintBytes(std::FILE* stream, const QByteArray& bytes);

// "0101…": one character per input or output, 1 first, '1' for on or active.
QString StatesText(const std::array<bool, 16>& states);
