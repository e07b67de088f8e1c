#pragma once
class QWidget;

// For the start-up benchmark: when KONF_STARTUP_PROBE holds the launch time (CLOCK_REALTIME in
// nanoseconds, as `date +%s%N` prints it), the time from then until `window` has painted its
// first frame is printed on standard error as "first frame: <ms> ms". Otherwise nothing happens.
void InstallStartupProbe(QWidget* window);
