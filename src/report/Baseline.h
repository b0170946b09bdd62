#pragma once
// A test compared with a baseline, an earlier result of the same test: per run and for the
// totals, each figure old and new with the change, and which of them got worse beyond a limit.
// Both sides are read from their JSON, so they are compared with the same rounding.

#include <optional>
#include <string>
#include <vector>

#include "report/StoredResult.h"
#include "results/ChartLayout.h"

struct TFigureChange {
  std::string key;   // the JSON name, "wait_median_ms"
  std::string name;  // as printed, "Median wait [ms]"
  double old = 0, now = 0;
  bool ms = false;  // a time: held to the 1 ms floor of --max-regression
  double change() const { return now - old; }
  // The change in % of the old figure; none when the old one is 0.
  std::optional<double> percent() const;
};

struct TRunComparison {
  int run = 0;  // from 1; 0 for the totals
  std::vector<TFigureChange> figures;
};

struct TBaselineComparison {
  std::string oldtestid, oldstarted;
  // Set when the two tests requested different URLs: what each one tested.
  std::string oldurl, newurl;
  std::vector<TRunComparison> runs;  // the runs both tests completed requests in
  TRunComparison totals;
  std::vector<TShareSeries> distributions;  // the baseline's wait times, then this test's
};

// Empty when a result of these settings can be compared with the baseline; otherwise what
// differs, e.g. "the baseline ran 10 users, this test 20".
std::string baselinemismatch(const TReportInfo& baseline, const TestSettings& now);

TBaselineComparison comparebaseline(const TStoredResult& baseline, const TStoredResult& now);

// The figures that got worse by more than percent % and by more than 1 ms: median and p99 of the
// wait and of the server time, over the whole test. One text per figure, e.g.
// "median wait 101.2 ms against 50.9 ms (+98.8 %)".
std::vector<std::string> regressions(const TBaselineComparison& c, double percent);

// The comparison as printed after the "Results" text.
std::string baselinetext(const TBaselineComparison& c);

// The JSON "baseline" member's value, on one line; with a limit, the figures that broke it.
std::string baselinejson(const TBaselineComparison& c, std::optional<double> maxregression);

// json (a whole result as jsonreport writes it) with the "baseline" member added last.
std::string withbaseline(const std::string& json, const std::string& baseline);

// The HTML report's section: the statement, the distribution chart and the change table.
std::string baselinehtml(const TBaselineComparison& c);
