#pragma once
// The "Results" view and the charts of a merged test: the lines a single process would have
// written for the whole test, from the merged requests, plus one line per run on how far apart
// the segments started it.

#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "segments/SegmentMerge.h"

// Fills logs (its "Results" lines) and charts (anew) from the merged test.
void mergedviews(const TMergedTest& test, TLogModel& logs, TChartModel& charts);

// "Merged from K segments: run starts D ms apart" (D to a tenth of a millisecond).
std::string spreadline(const TMergedRun& run, int segments);
