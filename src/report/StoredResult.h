#pragma once
// A result read back from its JSON (one process's, a segment's or a merged one) as everything the
// outputs and the window show of a finished test: the requests, the figures, the "Results" text
// and both charts written anew from the requests, and what the file says about the test.

#include <cstddef>
#include <string>
#include <vector>

#include "report/RunFigures.h"
#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "results/RequestRecords.h"
#include "stored/ReportInfo.h"
#include "stored/SegmentFile.h"

struct TStoredResult {
  std::string path;  // where it was read from, for messages
  TReportInfo info;
  TRequestRecords records;
  TTestFigures figures;  // the averages as stored, everything else from the requests
  TLogModel logs;        // the "Results" view
  TChartModel charts;    // request chart, and the ramp chart of a ramp test
  // Per run and for the totals: the server's own time, where the result carries it.
  std::vector<TStoredFigures> storedruns;
  TStoredFigures storedtotals;

  bool merged() const { return info.mergedsegments > 0; }
};

// The most of a result file that is read: far more than any result holds, far less than the
// memory that reading it takes.
inline constexpr size_t kMaxResultBytes = size_t(512) << 20;

// text is the JSON of a result; false with a one-line reason naming path.
bool parsestoredresult(const std::string& path, const std::string& text, TStoredResult& out,
                       std::string& error);
// The same, read from the file at path, which must be a regular file of at most kMaxResultBytes.
bool readstoredresult(const std::string& path, TStoredResult& out, std::string& error);
