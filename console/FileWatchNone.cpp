// Platforms without change notices: the caller keeps looking at the file periodically.
#include "FileWatch.h"

#include <QSocketNotifier>

TFileWatch::TFileWatch() = default;
TFileWatch::~TFileWatch() = default;

bool TFileWatch::Watch(const QString&)
{
    return false;
}

void TFileWatch::Stop() {}

void TFileWatch::ReadEvents() {}
