// A result read back whose parts do not fit together is refused wherever it is read (merge,
// report, baseline) with its file, field and reason: rows against each other and their run,
// the runs of a finished test, the stored figures against the rows, segments far apart.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "report/JsonReport.h"
#include "report/StoredResult.h"
#include "segments/SegmentMerge.h"
#include "support/TestSupport.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;
using TJson = nlohmann::ordered_json;

namespace {

const std::string kUrl = "http://127.0.0.1:1/";

// Segment i of k of a test of 4 users and 2 runs, as the command line writes it: each of the
// segment's users waits 3.6 ms, with a first byte at 1.2 ms and a server time of 2.5 ms.
std::string result(int i = 1, int k = 1, double epochms = 1765101600000.25) {
  TReportInfo info;
  info.testid = "T";
  info.started = "2026-12-07T10:00:00Z";
  info.settings.url = kUrl;
  info.settings.users = 4;
  info.settings.runs = 2;
  info.segment = i;
  info.segments = k;
  info.epochms = epochms;
  TRequestRecords r;
  for (int run = 0; run < 2; ++run) {
    int users = 0;
    for (int u = i; u <= 4; u += k) {
      const long double start = 0.25L * u + 100.0L * run;
      r.add({run, u, &kUrl, start, 3.6L, 1.2L, u == 4 ? 500 : 200, 0, 100, 2.5L, 1.0L});
      ++users;
    }
    r.endrun(run, users, 5.0L, false);
  }
  return jsonreport(info, r, testfigures(r));
}

// What each reader says of the edited result, "" when it takes it.
struct TReadings {
  std::string merge, stored;
};

TReadings read(const std::function<void(TJson&)>& edit) {
  TJson doc = TJson::parse(result());
  edit(doc);
  TReadings out;
  TSegmentFile f;
  if (!readsegmentfile("r.json", doc.dump(), f, out.merge) && out.merge.empty()) out.merge = "?";
  TStoredResult s;
  if (!parsestoredresult("r.json", doc.dump(), s, out.stored) && out.stored.empty()) {
    out.stored = "?";
  }
  return out;
}

}  // namespace

TEST(ResultChecks, RowsRunsAndStoredFiguresThatContradictEachOtherAreRefused) {
  const std::pair<std::function<void(TJson&)>, std::string> cases[] = {
      {[](TJson& d) { d["runs"][0]["requests"]["server_ms"][1] = 1e6; },
       "runs[0].requests.server_ms[1]: 1000000 ms is longer than the request's wait of 3.6 ms"},
      {[](TJson& d) { d["runs"][1]["requests"]["ttfb_ms"][0] = 3.7; },
       "runs[1].requests.ttfb_ms[0]: 3.7 ms is later than the request's wait of 3.6 ms"},
      {[](TJson& d) { d["runs"][0]["requests"]["server_ttfb_ms"][2] = 2.6; },
       "runs[0].requests.server_ttfb_ms[2]: 2.6 ms is later than the request's end"},
      {[](TJson& d) { d["runs"][0]["requests"]["start_ms"][3] = 5e10; },
       "runs[0].requests.start_ms[3]: 50000000000 ms with a wait of 3.6 ms ends"},
      {[](TJson& d) { d["runs"][1]["requests"]["start_ms"][0] = 1.0; },
       "runs[1].requests.start_ms[0]: 1 ms is before the previous run ended (4.6 ms)"},
      // Both runs moved a year on, each holding together: the test never lasted that long.
      {[](TJson& d) {
         for (auto& run : d["runs"]) {
           for (auto& s : run["requests"]["start_ms"]) s = s.get<double>() + 3.2e10;
         }
       },
       "runs[0].requests.start_ms[3]: 32000000001 ms lies past the end of run 1"},
      {[](TJson& d) { d["runs"] = TJson::array(); },
       "runs: holds 0 of the test's 2 runs, but the test was not aborted"},
      {[](TJson& d) { d["runs"][0]["avg_wait_ms"] = 12345; },
       "runs[0].avg_wait_ms: 12345 is not the average of the requests' waits, 3.6 ms"},
      {[](TJson& d) { d["totals"]["avg_wait_ms"] = 3.0; }, "totals.avg_wait_ms: 3 is not"},
      {[](TJson& d) { d["runs"][1]["avg_request_processing_ms"] = 0.5; },
       "runs[1].avg_request_processing_ms: 0.5 is not overall_ms per user, 1.25 ms"},
      {[](TJson& d) { d["runs"][0]["requests_per_hour"] = 1e9; },
       "runs[0].requests_per_hour: 1000000000 does not follow"},
      {[](TJson& d) { d["totals"]["throughput_kb_per_s"] = 1; },
       "totals.throughput_kb_per_s: 1 does not follow from the requests' bytes"},
      {[](TJson& d) { d["runs"][0]["error_rate_percent"] = 50; },
       "runs[0].error_rate_percent: 50 is more than the requests allow (1 of 4 not answered "
       "with 200)"},
      {[](TJson& d) { d["totals"]["overall_ms"] = 99; },
       "totals.overall_ms: 99 is not the sum of the runs' overall_ms, 10 ms"},
  };
  for (const auto& [edit, problem] : cases) {
    const TReadings r = read(edit);
    // One rule for every reader: the merge's, and the one --report and --baseline use.
    EXPECT_THAT(r.merge, StartsWith("r.json: " + problem)) << problem;
    EXPECT_THAT(r.stored, StartsWith("r.json: " + problem)) << problem;
  }
  // What a test writes holds together, to the last rounded digit; an aborted test may lack runs.
  EXPECT_EQ(read([](TJson&) {}).merge, "");
  EXPECT_EQ(read([](TJson&) {}).stored, "");
  const TReadings aborted = read([](TJson& d) {
    d["aborted"] = true;
    d["runs"].erase(1);
    d["totals"] = d["runs"][0];
    d["totals"].erase("requests");
  });
  EXPECT_EQ(aborted.merge, "");
  EXPECT_EQ(aborted.stored, "");
}

TEST(ResultChecks, SegmentsThatStartedFarApartAreNoOneTest) {
  auto segment = [](int i, double epochms) {
    TSegmentFile f;
    std::string error;
    EXPECT_TRUE(readsegmentfile("s" + std::to_string(i), result(i, 2, epochms), f, error)) << error;
    return f;
  };
  const double t = 1765101600000.0;
  TMergedTest m;
  std::string error;
  EXPECT_TRUE(mergesegments({segment(1, t), segment(2, t + 9.5 * 60000)}, m, error)) << error;
  EXPECT_FALSE(mergesegments({segment(1, t), segment(2, t + 30.0 * 86400000)}, m, error));
  EXPECT_EQ(error,
            "s2: started_epoch_ms: started 43200 minutes after s1; the segments of one "
            "test start within 10 minutes");
}

// The window opens results by name: neither a device nor a FIFO keeps it reading or waiting.
TEST(ResultChecks, AResultOpenedByNameIsARegularFile) {
  TTempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  TStoredResult r;
  std::string error;
  EXPECT_FALSE(readstoredresult("/dev/zero", r, error));
  EXPECT_EQ(error, "cannot read \"/dev/zero\": it is not a regular file");
  EXPECT_FALSE(readstoredresult(dir.file("fifo"), r, error));
  EXPECT_THAT(error, HasSubstr("fifo\": it is not a regular file"));
  writefile(dir.file("r.json"), result());
  EXPECT_TRUE(readstoredresult(dir.file("r.json"), r, error)) << error;
}
