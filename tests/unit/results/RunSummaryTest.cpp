// A run summed up from its records: the lines of the logs and the chart's foot, the ramp points,
// and the figures the outputs report.

#include "results/RunSummary.h"

#include <gmock/gmock.h>

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "results/Outcome.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

namespace {

struct TRow {
  double wait;
  int status = 200;
  uint16_t socket = 0;
  int64_t bytes = 0;
};

// An ended run (index runindex) of users users that took overall ms, one request per row.
TRunRecords run(int runindex, int users, long double overall, std::initializer_list<TRow> rows,
                bool aborted = false) {
  TRunRecords r;
  r.reset(runindex, rows.size());
  for (const TRow& row : rows) {
    TRequestOutcome o;
    o.run = runindex;
    o.wait = row.wait;
    o.status = row.status;
    o.socketcode = row.socket;
    o.bytes = row.bytes;
    r.add(o, 0);
  }
  r.users = users;
  r.overallms = overall;
  r.aborted = aborted;
  r.ended = true;
  return r;
}

const std::array<std::string, 4> kStartFoot{"green=ok, red=error, black=timeout", "the test",
                                            "Average Request Times:", "Average User Times:"};

TResultLine plain(const std::string& text) {
  return {text, TLineStyle::plain};
}
TResultLine bold(const std::string& text) {
  return {text, TLineStyle::bold};
}
MATCHER_P(IsLine, line, "") {
  return arg.text == line.text && arg.style == line.style;
}

}  // namespace

// Averages are rounded halves to even (12.5 -> 12, 10.5 -> 10), the kB are cut, not rounded.
TEST(RunSummary, OneRunWritesEveryLineOfALoadTest) {
  TRunsSoFar sofar;
  const TRunSummary s =
      runsummary(run(0, 2, 25, {{10, 200, 0, 500}, {11, 200, 0, 499}}), false, kStartFoot, sofar);
  EXPECT_THAT(s.log,
              ElementsAre("Resulting statuscodes:", "2x \"200\" (=OK)", " ",
                          "Average Results of this Run:", "  Overall Time: 25 msec",
                          "  Average Request Processing Time: 12 msec (equals ~288000 requests/h)",
                          "  Average User Wait Time: 10 msec for 2 simultaneous users",
                          "  Total Bytes: 999 Bytes (0 kB) (Throughput ~40 kB/sec)", "RUN DONE",
                          std::string(51, '='), "", "Average Results of All Runs:",
                          "  Average Request Processing Time after 1 runs: 12 msec (equals "
                          "~288000 requests/h)",
                          "  Average User Wait Time: 10 msec for 2 simultaneous users", " "));
  EXPECT_THAT(
      s.results,
      ElementsAre(IsLine(plain("Resulting statuscodes: 2x\"200\" (=OK), ")),
                  IsLine(bold("Average Request Processing Time after 1 runs: 12 msec "
                              "(equals ~288000 requests/h)")),
                  IsLine(bold("Average User Wait Time: 10 msec for 2 simultaneous users"))));
  EXPECT_EQ(s.foot[0], "Resulting statuscodes: 2x\"200\" (=OK), ");
  EXPECT_EQ(s.foot[1], "the test");
  EXPECT_EQ(s.foot[3], "  Average User Wait Time: 10 msec for 2 simultaneous users");
  EXPECT_FALSE(s.ramp);
  EXPECT_EQ(s.figures.requests, 2u);
  EXPECT_EQ(s.figures.ok, 2u);
  EXPECT_EQ(s.figures.bytes, 999);
  EXPECT_DOUBLE_EQ(s.figures.avgwait, 10.5);
  EXPECT_DOUBLE_EQ(s.figures.requestsperhour, 288000);
  EXPECT_EQ(s.figures.wait.max, 11);
}

// A later run's own line is its own mean; the lines of all runs average every run and request.
TEST(RunSummary, LaterRunsAverageEveryRunAndEveryRequest) {
  TRunsSoFar sofar;
  TRunRecords r = run(0, 2, 25, {{10}, {11}});
  runsummary(r, false, kStartFoot, sofar);
  // The engine reuses one run's records: a reset forgets the run before.
  r.reset(1, 2);
  EXPECT_EQ(r.size(), 0u);
  EXPECT_FALSE(r.ended);
  for (double wait : {20.0, 22.0}) r.add(TRequestOutcome{1, 1, nullptr, 0, wait}, 0);
  r.users = 2;
  r.overallms = 35;
  r.ended = true;
  const TRunSummary s = runsummary(r, false, kStartFoot, sofar);
  EXPECT_EQ(s.figures.run, 2);
  EXPECT_THAT(s.log,
              testing::Contains("  Average User Wait Time: 21 msec for 2 simultaneous users"));
  EXPECT_EQ(s.foot[2],
            "  Average Request Processing Time after 2 runs: 15 msec (equals ~240000 requests/h)");
  // (10 + 11 + 20 + 22) / 4 = 15.75
  EXPECT_EQ(s.foot[3], "  Average User Wait Time: 16 msec for 2 simultaneous users");
  EXPECT_EQ(sofar.requestscounted, 4);
  EXPECT_EQ(sofar.runscounted, 2);
}

// A run without requests divides by nothing; a run without users is not summed up at all.
TEST(RunSummary, EmptyAndUserlessRunsPrintNoMadeUpRates) {
  TRunsSoFar sofar;
  const TRunSummary empty = runsummary(run(0, 3, 0, {}), false, kStartFoot, sofar);
  EXPECT_THAT(empty.log, testing::Contains("  Average Request Processing Time: 0 msec"));
  EXPECT_THAT(empty.log, testing::Contains("  Total Bytes: 0 Bytes (0 kB)"));
  EXPECT_EQ(empty.foot[0], "Resulting statuscodes: 0x\"200\" (=OK), ");
  EXPECT_EQ(empty.foot[2], "  Average Request Processing Time after 1 runs: 0 msec");
  EXPECT_EQ(empty.foot[3], "Average User Times:");  // no request has waited yet
  EXPECT_EQ(empty.figures.wait.count, 0u);
  EXPECT_EQ(empty.figures.avgwait, 0);
  EXPECT_EQ(empty.figures.errorrate, 0);

  TRunsSoFar none;
  const TRunSummary userless = runsummary(run(0, 0, 12, {}), true, kStartFoot, none);
  EXPECT_THAT(userless.log, IsEmpty());
  EXPECT_THAT(userless.results, IsEmpty());
  EXPECT_EQ(userless.foot, kStartFoot);
  EXPECT_FALSE(userless.ramp);
  EXPECT_EQ(none.runscounted, 0);
}

// Every request failed: 200 still leads the tally with 0, and the ramp step says 100 % errors.
TEST(RunSummary, AllErrorsListTwoHundredFirstWithNone) {
  TRunsSoFar sofar;
  const TRunSummary s =
      runsummary(run(0, 4, 8, {{2, 404}, {2, 404}, {2, 404}, {2, 404}}), true, kStartFoot, sofar);
  EXPECT_THAT(s.log, testing::IsSupersetOf({"0x \"200\" (=OK)", "4x \"404\" (=Not Found)"}));
  EXPECT_EQ(s.foot[0], "Resulting statuscodes: 0x\"200\" (=OK), 4x\"404\" (=Not Found), ");
  ASSERT_TRUE(s.ramp);
  EXPECT_EQ(s.ramp->label, "100% Errors");
  EXPECT_EQ(s.figures.errors, 4u);
  EXPECT_EQ(s.figures.ok, 0u);
  EXPECT_DOUBLE_EQ(s.figures.errorrate, 100);
  EXPECT_THAT(s.figures.statuses, ElementsAre(Pair(404, 4u)));
}

// The operator's aborts and this machine's failures are counted apart from the server's errors.
TEST(RunSummary, AbortsAndClientErrorsAreNotTheServers) {
  TRunsSoFar sofar;
  const TRunSummary aborted = runsummary(
      run(0, 5, 30, {{1}, {2, 0}, {3, 500}, {4, 404, kAbortedSocketCode}, {5, 404, 10055}}, true),
      false, kStartFoot, sofar);
  const TRunFigures& f = aborted.figures;
  EXPECT_EQ(f.ok, 1u);
  EXPECT_EQ(f.timeouts, 1u);
  EXPECT_EQ(f.errors, 2u);  // the time-out and the 500
  EXPECT_EQ(f.abortedrequests, 1u);
  EXPECT_EQ(f.clienterrors, 1u);
  EXPECT_DOUBLE_EQ(f.errorrate, 200.0 / 3);
  EXPECT_THAT(f.socketcodes, ElementsAre(Pair(0, 3u), Pair(3, 1u), Pair(10055, 1u)));
  // An aborted run has no lines; its requests still count for the runs that follow.
  EXPECT_THAT(aborted.log, IsEmpty());
  EXPECT_EQ(aborted.foot, kStartFoot);
  EXPECT_EQ(sofar.requestscounted, 5);
  EXPECT_EQ(sofar.runscounted, 0);

  const TRunSummary step =
      runsummary(run(0, 4, 8, {{1}, {1}, {1, 500}, {1, 404, 10055}}), true, kStartFoot, sofar);
  const std::string line =
      "Client errors: 1 of 4 requests failed on this machine (no descriptor, no local port, no "
      "buffer memory), not at the server";
  EXPECT_THAT(step.log, testing::Contains(line));
  EXPECT_THAT(step.results, testing::Contains(IsLine(plain(line))));
  ASSERT_TRUE(step.ramp);
  EXPECT_EQ(step.ramp->label, "33% Errors, 25% client errors");
}

// Each ramp step is plotted at its own means, never at a running mean over the steps.
TEST(RunSummary, RampStepsPlotTheirOwnMeans) {
  TRunsSoFar sofar;
  const TRunSummary one = runsummary(run(0, 2, 10, {{4}, {6}}), true, kStartFoot, sofar);
  const TRunSummary two = runsummary(run(1, 4, 40, {{8}, {8}, {12}, {12}}), true, one.foot, sofar);
  ASSERT_TRUE(two.ramp && two.rampwait);
  EXPECT_EQ(two.ramp->users, 4);
  EXPECT_EQ(two.ramp->y, 10);
  EXPECT_EQ(two.ramp->label, "ok");
  EXPECT_EQ(two.rampwait->y, 10);
  EXPECT_EQ(two.foot[2],
            "  Average Request Processing Time for 4 simultaneous users: 10 msec (equals ~360000 "
            "requests/h)");
  EXPECT_EQ(two.foot[3], "  Average User Wait Time: 10 msec for 4 simultaneous users");
  EXPECT_THAT(two.log, testing::Not(testing::Contains("Average Results of All Runs:")));
  EXPECT_EQ(sofar.runscounted, 0);
  // A step that took no time keeps the foot line before it, but still has its point.
  const TRunSummary instant = runsummary(run(2, 6, 0, {{0}}), true, two.foot, sofar);
  EXPECT_EQ(instant.foot[2], two.foot[2]);
  ASSERT_TRUE(instant.ramp);
  EXPECT_EQ(instant.ramp->y, 0);
}

// A stored result's requests/h stands in foot line 2: worked out again from rounded times it
// could move by a unit.
TEST(RunSummary, StoredRateStandsInTheFootLine) {
  TRunsSoFar sofar;
  const TRunSummary s = runsummary(run(0, 2, 25, {{10}, {11}}), false, kStartFoot, sofar, 287999);
  EXPECT_EQ(s.foot[2],
            "  Average Request Processing Time after 1 runs: 12 msec (equals ~287999 requests/h)");
  EXPECT_THAT(s.log, testing::Contains("  Average Request Processing Time: 12 msec (equals "
                                       "~288000 requests/h)"));
}

// The views take the lines in their styles, the foot lines the run replaced and its ramp points.
TEST(RunSummary, ShowsItsLinesFootAndPointsInTheViews) {
  TLogModel logs;
  TChartModel charts;
  for (int i = 0; i < 4; ++i) charts.setfoot(i, kStartFoot[size_t(i)]);
  TRunsSoFar sofar;
  showsummary(runsummary(run(0, 2, 10, {{4}, {6, 500}}), true, charts.foot(), sofar), logs, charts);
  ASSERT_EQ(logs.resultlines().size(), 3u);
  EXPECT_EQ(logs.resultlines()[0].style, TLineStyle::plain);
  EXPECT_EQ(logs.resultlines()[2].style, TLineStyle::bold);
  EXPECT_EQ(logs.resultlines()[2].text, "Average User Wait Time: 5 msec for 2 simultaneous users");
  EXPECT_THAT(logs.loglines(), IsEmpty());
  EXPECT_EQ(charts.foot()[1], "the test");
  EXPECT_EQ(charts.foot()[0],
            "Resulting statuscodes: 1x\"200\" (=OK), 1x\"500\" (=Internal Server "
            "Error), ");
  ASSERT_EQ(charts.ramps().size(), 1u);
  EXPECT_EQ(charts.ramps()[0].label, "50% Errors");
  ASSERT_EQ(charts.rampwaits().size(), 1u);
  EXPECT_EQ(charts.rampwaits()[0].y, 5);

  // An aborted run's summary leaves the views as they were.
  const uint64_t revision = charts.textrevision();
  showsummary(runsummary(run(1, 2, 10, {{4}}, true), true, charts.foot(), sofar), logs, charts);
  EXPECT_EQ(logs.resultlines().size(), 3u);
  EXPECT_EQ(charts.textrevision(), revision);
  EXPECT_EQ(charts.ramps().size(), 1u);
}
