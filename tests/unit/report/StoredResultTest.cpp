// A stored result opened again (Open Results, --report): its "Results" text and charts show the
// figures the test showed, as the JSON stores them, not figures worked out again from its rounded
// times.

#include <gmock/gmock.h>

#include "engine/RunText.h"
#include "report/JsonReport.h"
#include "report/ResultViews.h"
#include "report/StoredResult.h"

using ::testing::Contains;
using ::testing::Not;

namespace {

const std::string kUrl = "http://127.0.0.1:1/";

// A ramp test of two steps (1 user, then 2), as the engine's host records it.
TRequestRecords ramptest() {
  TRequestRecords r;
  // The start loop of step 1 took 23.4567 µs: to the microsecond its rate would read 43478/s.
  r.setstartloop(0, {0.01, 0.0234567, startrate(1, 0.0234567L)});
  r.add({0, 1, &kUrl, 0.02, 0.9876543, 0.5, 200, 0, 10, 0.25, 0.125});
  // Its overall time to the microsecond would make 3600000 requests/h of 3598357.
  r.endrun(0, 1, 1.0004567L, false);
  r.setstartloop(1, {2000.5, 0.0456789, startrate(2, 0.0456789L)});
  r.add({1, 2, &kUrl, 2000.51, 30.25, 10, 200, 0, 10});
  r.add({1, 1, &kUrl, 2000.52, 40.5, 10, 404, 10049, 0});
  r.endrun(1, 2, 41.0000004L, false);
  return r;
}

TReportInfo rampinfo() {
  TReportInfo i;
  i.testid = "T-ramp";
  i.started = "2026-12-07T10:00:00Z";
  i.settings.url = kUrl;
  i.settings.users = 2;
  i.settings.runs = 2;
  i.settings.ramptest = true;
  i.epochms = 1765101600000.25;
  return i;
}

std::vector<std::string> text(const TLogModel& logs) {
  std::vector<std::string> lines;
  for (const auto& l : logs.resultlines()) lines.push_back(l.text);
  return lines;
}

}  // namespace

TEST(StoredResult, ShowsTheTestsOwnFiguresAndEachStepsOwnWait) {
  const TRequestRecords records = ramptest();
  const std::string json = jsonreport(rampinfo(), records, testfigures(records));
  TStoredResult s;
  std::string error;
  ASSERT_TRUE(parsestoredresult("r.json", json, s, error)) << error;
  const std::vector<std::string> lines = text(s.logs);

  // The "Created ..." lines as the test wrote them.
  EXPECT_THAT(lines, Contains(createdline(1, 0.0234567L)));
  EXPECT_THAT(lines, Contains("Created 1 requests in 0.023ms (equals ~42632 requests per second)"));
  EXPECT_THAT(lines, Contains(createdline(2, 0.0456789L)));
  // Step 1's requests/h as stored, not as its rounded overall time gives them.
  EXPECT_THAT(lines, Contains("Average Request Processing Time for 1 simultaneous users: 1 msec "
                              "(equals ~3598357 requests/h)"));
  // Step 2: its own mean wait, in the text and on the curve; one of its two requests failed here.
  EXPECT_THAT(lines, Contains("Average User Wait Time: 35 msec for 2 simultaneous users"));
  EXPECT_THAT(lines, Contains(clienterrorline(1, 2)));
  ASSERT_EQ(s.charts.rampwaits().size(), 2u);
  EXPECT_DOUBLE_EQ(double(s.charts.rampwaits()[0].y), 0.988);
  EXPECT_DOUBLE_EQ(double(s.charts.rampwaits()[1].y), (30.25 + 40.5) / 2);
  EXPECT_EQ(s.charts.ramps()[1].label, "ok, 50% client errors");

  // Written again, the start loops and rates stay to the byte.
  EXPECT_EQ(jsonreport(s.info, s.records, s.figures), json);

  // Shown in the window, the points keep their server times (the printed report's table).
  TLogModel logs;
  TChartModel charts;
  showstoredresult(s, logs, charts);
  ASSERT_EQ(charts.requests().size(), 3u);
  EXPECT_FLOAT_EQ(charts.requests()[0].server, 0.25f);
  EXPECT_FLOAT_EQ(charts.requests()[0].serverttfb, 0.125f);
  EXPECT_EQ(charts.rampwaits().size(), 2u);
  EXPECT_EQ(text(logs), lines);
}

// A result written before the start loop was stored still shows a "Created ..." line, from its
// requests' starts.
TEST(StoredResult, AnOlderResultWithoutItsStartLoopShowsOneFromItsStarts) {
  TRequestRecords r;
  r.add({0, 1, &kUrl, 1.5, 10, 5, 200, 0, 10});
  r.add({0, 2, &kUrl, 2.0, 10, 5, 200, 0, 10});
  r.endrun(0, 2, 12, false);
  TReportInfo i = rampinfo();
  i.settings.ramptest = false;
  i.settings.runs = 1;
  const std::string json = jsonreport(i, r, testfigures(r));
  ASSERT_EQ(json.find("start_loop"), std::string::npos);
  TStoredResult s;
  std::string error;
  ASSERT_TRUE(parsestoredresult("old.json", json, s, error)) << error;
  EXPECT_THAT(text(s.logs),
              Contains("Created 2 requests in 0.5ms (equals ~4000 requests per second)"));
  EXPECT_THAT(text(s.logs), Not(Contains(clienterrorline(0, 2))));
}
