#include "results/TestReport.h"

TTestReport testreport(const TChartModel& charts, const TLogModel& log) {
  TTestReport r;
  r.results = log.resultlines();
  r.charts = charts;
  r.ramp = !charts.chart2title().empty();
  return r;
}
