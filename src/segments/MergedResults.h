#pragma once
// The "Results" view and the charts of a merged test: the lines a single process would have
// written for the whole test, from the merged requests, plus one line per run on how far apart
// the segments started it.

#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "results/RequestRecords.h"
#include "segments/SegmentMerge.h"
#include "stored/ReportInfo.h"

// Fills logs (its "Results" lines) and charts (anew) from the merged test.
void mergedviews(const TMergedTest& test, TLogModel& logs, TChartModel& charts);

// The merged requests as one process's records, run by run in completion order.
void mergedrecords(const TMergedTest& test, TRequestRecords& records);

// What the merged result's files say about the test: its id, earliest start, settings, and the
// number of segments with each run's start spread.
TReportInfo mergedinfo(const TMergedTest& test);

// "Merged from K segments: run starts D ms apart" (D to a tenth of a millisecond).
std::string spreadline(const TMergedRun& run, int segments);
