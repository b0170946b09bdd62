// The shared run instants of a split test, how late a busy segment fired, and what a merge says
// about late runs, clocks and missing segments.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "segments/ClockState.h"
#include "segments/MergeNotes.h"
#include "segments/RunSchedule.h"
#include "segments/SegmentOption.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(RunSchedule, RunsFireAtTheStartPlusWholeIntervalsNotAfterTheirOwnLastRun) {
  TRunSchedule s(1'000'000, 2000, false);
  EXPECT_EQ(s.instant(1), 1'000'000);
  EXPECT_EQ(s.instant(3), 1'004'000);
  // A segment whose run 1 ended early waits for the shared instant; one that was stalled waits
  // less: both fire run 2 at 1'002'000.
  EXPECT_EQ(s.delay(2, 1'000'300.0), 1700u);
  EXPECT_EQ(s.delay(2, 1'001'999.5), 1u);
  EXPECT_TRUE(s.late().empty() || s.late()[1] == 0);
  // Still busy at run 3's instant: fires at once and notes how late.
  EXPECT_EQ(s.delay(3, 1'004'700.0), 0u);
  ASSERT_EQ(s.late().size(), 3u);
  EXPECT_DOUBLE_EQ(s.late()[2], 700);
  s.fired(1, 999'999.0);
  EXPECT_DOUBLE_EQ(s.late()[0], 0);
  s.fired(1, 1'000'012.5);
  EXPECT_DOUBLE_EQ(s.late()[0], 12.5);
}

TEST(RunSchedule, SaysWhatItChose) {
  EXPECT_EQ(derivedinterval(5), 35000);
  EXPECT_THAT(TRunSchedule(0, 35000, true).statement(),
              HasSubstr("runs fire every 35 s from the start at 1970-01-01T00:00:00.000Z (the "
                        "wait between runs plus 30 s; give --run-interval to change it)"));
  EXPECT_EQ(TRunSchedule(5, 250, false).json(),
            "{\"start_epoch_ms\":5,\"interval_ms\":250,\"interval_derived\":false}");
}

TEST(RunSchedule, LateLinesNameTheRunAndTheSegment) {
  EXPECT_THAT(latelines({{0, 0}, {712.44, 0.4}, {}}),
              ElementsAre("Run 1: segment 2 fired 712.4 ms late"));
  EXPECT_TRUE(latelines({}).empty());
}

TEST(PlannedRequests, CountsThisSegmentsShareOfEveryRun) {
  TestSettings s;
  s.users = 10;
  s.runs = 3;
  EXPECT_EQ(plannedrequests(s, 1, 4), 3 * 3);  // users 1, 5, 9
  EXPECT_EQ(plannedrequests(s, 4, 4), 3 * 2);  // users 4, 8
  s.users = 2;
  EXPECT_EQ(plannedrequests(s, 3, 4), 0);
  s.users = 10;
  s.ramptest = true;  // runs of 3, 7 and 10 users
  EXPECT_EQ(plannedrequests(s, 4, 4), 0 + 1 + 2);
}

TEST(ClockLines, WorstErrorAndAWarningPerUnsynchronisedClock) {
  TClockState good{true, true, 12.5, 0.1};
  TClockState bad{true, false, 16000, 16000};
  TClockState unread;
  EXPECT_THAT(clocklines({{1, good}, {2, bad}, {3, unread}}),
              ElementsAre("Segment clocks: worst maximum error 16000 ms (segment 2)",
                          HasSubstr("clock of segment 2 was not synchronised"),
                          "Warning: the clock of segment 3 could not be read"));
  EXPECT_THAT(clocklines({{1, good}}),
              ElementsAre("Segment clocks: worst maximum error 12.5 ms (segment 1)"));
  EXPECT_TRUE(clocklines({}).empty());
  EXPECT_EQ(clockjson(good), "{\"synchronised\":true,\"max_error_ms\":12.5,\"est_error_ms\":0.1}");
  EXPECT_EQ(clockjson(unread), "{\"synchronised\":null}");
}

TEST(MergeNotes, ReadsClockAndLatenessWithoutTheRequests) {
  TSegmentNotes n;
  ASSERT_TRUE(readsegmentnotes(
      R"({"runs":[{"late_ms":0,"requests":{"wait_ms":[1,2]}},{"late_ms":701.5}],)"
      R"("segment":{"number":3,"of":4},"clock":{"synchronised":false,"max_error_ms":16000}})",
      n));
  EXPECT_EQ(n.segment, 3);
  EXPECT_TRUE(n.hasclock && n.clock.known && !n.clock.synchronised);
  EXPECT_DOUBLE_EQ(n.clock.maxerrorms, 16000);
  EXPECT_THAT(n.late, ElementsAre(0, 701.5));
  ASSERT_TRUE(readsegmentnotes(R"({"runs":[{}],"segment":{"number":1,"of":2}})", n));
  EXPECT_FALSE(n.hasclock);
  EXPECT_TRUE(n.late.empty());
  EXPECT_FALSE(readsegmentnotes("{\"runs\":[", n));
}

TEST(MergeNotes, APartialMergeNamesTheMissingSegmentsAndTheirUsers) {
  TMergedTest m;
  m.segments = 4;
  m.settings.users = 10;
  m.settings.runs = 2;
  m.runs.resize(2);
  m.missing = {2, 4};
  EXPECT_THAT(partiallines(m),
              ElementsAre("Partial result: segments 2, 4 of 4 missing, merged from 2 of 4 segments",
                          "Missing users: 2, 6, 10 ...; 4, 8, 12 ...",
                          "Users missing per run: run 1: 5 of 10, run 2: 5 of 10"));
  TReportInfo info;
  describemerge(m, {}, info);
  ASSERT_EQ(info.members.size(), 1u);
  EXPECT_EQ(info.members[0].first, "partial");
  EXPECT_THAT(info.members[0].second, HasSubstr("\"missing_segments\":[2,4]"));
  EXPECT_THAT(info.members[0].second, HasSubstr("\"missing_users_per_run\":[5,5]"));
  EXPECT_THAT(info.partial, HasSubstr("Partial result: segments 2, 4 of 4 missing"));
  m.missing.clear();
  EXPECT_TRUE(partiallines(m).empty());
}
