#pragma once
// --report: the outputs of a stored or merged result written again without a test.

#include "cli/CliJob.h"

// Returns the exit status, as a merge does.
int runreport(const TCliJob& job);
