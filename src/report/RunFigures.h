#pragma once
// The figures of a whole test: each run's from its summary (results/RunSummary.h), and the totals
// over every request. The JSON, the HTML report and the thresholds all read these, so they
// always agree with each other and with the "Results" text.

#include <vector>

#include "results/RequestRecords.h"
#include "results/RunSummary.h"

struct TTestFigures {
  std::vector<TRunFigures> runs;
  TRunFigures totals;  // every request of the test; run 0, users the sum over runs
};

TTestFigures testfigures(const TRequestRecords& records);
