#pragma once
// A stored result shown in the views of a test: its "Results" lines and both charts written into
// the models the window mirrors, replacing what they held, as a new test would.

#include "report/StoredResult.h"
#include "results/ChartModel.h"
#include "results/LogModel.h"

// The "Log" view is emptied: a stored result has no log lines. The models' generations move on,
// so every view that mirrors them redraws from the start.
void showstoredresult(const TStoredResult& result, TLogModel& logs, TChartModel& charts);
