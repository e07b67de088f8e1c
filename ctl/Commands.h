#pragma once
#include "CommandLine.h"

// The commands of selvora-ctl. Each opens the line, does its work and closes it again (watch
// keeps it until interrupted); results go to standard output, progress to standard error.
// Failures are ECtlFailure.
void RunStatus(const TCtlRequest& request);
void RunOut(const TCtlRequest& request);
void RunMode(const TCtlRequest& request);
void RunRoutingGet(const TCtlRequest& request);
void RunRoutingSet(const TCtlRequest& request);
void RunWatch(const TCtlRequest& request);
