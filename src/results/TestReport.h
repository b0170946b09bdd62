#pragma once
// TTestReport: what the printed report of one test shows, taken from the test's results and not
// from a window: its "Results" lines with their styles, its chart data with titles and foot
// lines, and whether it was a ramp test (only then does the ramp chart print). A stored result
// can be turned into one as well as a test that just ran.

#include <string>
#include <vector>

#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "results/Percentiles.h"

// The connection's phases of one run ("Run 2", "Run 3 (aborted)") or of all runs ("All"): only
// the requests that had one count.
struct TPhaseRow {
  std::string name;
  TPercentiles connect, tls;
};

struct TTestReport {
  std::vector<TResultLine> results;
  TChartModel charts;
  bool ramp = false;
  // The file a result opened in the window was read from; empty for a test run here.
  std::string openedfrom;
  // Per run, then for all runs when there are several; empty where no request had a phase time
  // (a result written before they were measured).
  std::vector<TPhaseRow> phases;

  // The report's subtitle and the centre of every footer: the request chart's title.
  const std::string& subtitle() const { return charts.chart1title(); }
  // Before any test the request chart has no title: there is nothing to report.
  bool empty() const { return charts.chart1title().empty(); }
};

// The report of the test whose results charts and log hold. A ramp test is known by the ramp
// chart's title, which only a ramp test sets: the Ramp-Test option may have changed since.
TTestReport testreport(const TChartModel& charts, const TLogModel& log);
