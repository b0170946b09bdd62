#include "results/TestReport.h"

TTestReport testreport(const TChartModel& charts, const TLogModel& log) {
  TTestReport r;
  r.results = log.resultlines();
  r.charts = charts;
  r.ramp = charts.hasrampchart();
  return r;
}
