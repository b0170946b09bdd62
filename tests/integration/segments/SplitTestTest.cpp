// One test split over four pressbolt-cli processes that start together, then merged: the
// requests that reach the server, the merged Results text and the merged figures are those of
// the same test run by one process.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/CliOptions.h"
#include "integration/cli/CliProcess.h"
#include "results/Percentiles.h"
#include "segments/StartTime.h"
#include "support/TargetServer.h"

namespace {

constexpr int kSegments = 4;

// The requests pressbolt-target logged ("GET /size/10?k=101 200"), sorted.
std::vector<std::string> requestlog(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(readfile(path));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("GET ", 0) == 0) lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Results lines with what differs between two runs of one test masked: times, the load
// generator's description, the date; the merge's own lines on the segments' start spread, their
// clocks and late runs are left out.
std::vector<std::string> maskedresults(const std::string& text) {
  static const std::vector<std::pair<std::regex, std::string>> rules = {
      {std::regex("~\\d+"), "~#"},
      {std::regex("-?\\d+ msec"), "# msec"},
      {std::regex("requests in [0-9.,]+ms"), "requests in #ms"},
      {std::regex("Client system: .*"), "Client system: #"},
      {std::regex("Test run on .*"), "Test run on #"},
  };
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Merged from ", 0) == 0 || line.rfind("Segment clocks: ", 0) == 0 ||
        line.rfind("Warning: the clock of ", 0) == 0 ||
        std::regex_match(line, std::regex("Run \\d+: segment \\d+ fired .* late"))) {
      continue;
    }
    for (const auto& [re, with] : rules) line = std::regex_replace(line, re, with);
    lines.push_back(line);
  }
  return lines;
}

// The URL list of the test for one server: two answers and an error, with key numbers.
std::string urllist(const TTargetServer& target) {
  return target.url("/size/10?k=@@") + "\n" + target.url("/status/404?k=@@") + "\n" +
         target.url("/size/20?k=@@") + "\n";
}

const std::string kTest = "--users 10 --runs 3 --ramp --key-offset 100 --urls urls.txt";

}  // namespace

TEST(SplitTest, FourSegmentsTogetherAreOneTest) {
  // The unsplit test, against a server of its own.
  TTempDir wholedir;
  TTargetServer wholetarget({"--log"}, wholedir.file("requests.log"));
  writefile(wholedir.file("urls.txt"), urllist(wholetarget));
  TCliResult whole = clirun(wholedir, kTest + " --output-dir .");
  ASSERT_EQ(whole.status, 0) << whole.err;

  // The same test in four segments that wait for one instant.
  TTempDir dir;
  TTargetServer target({"--log"}, dir.file("requests.log"));
  std::vector<std::unique_ptr<TTempDir>> segdirs;
  std::vector<std::unique_ptr<TCliProcess>> segments;
  // Every segment must be waiting well before the instant; on a machine too busy for that, the
  // segments are stopped (nothing was sent yet) and started again with a longer lead.
  bool together = false;
  for (int64_t lead : {2500, 10000, 40000}) {
    segments.clear();
    segdirs.clear();
    const int64_t at = epochmsnow() + lead;
    for (int i = 1; i <= kSegments; ++i) {
      segdirs.push_back(std::make_unique<TTempDir>());
      const TTempDir& d = *segdirs.back();
      writefile(d.file("urls.txt"), urllist(target));
      segments.push_back(std::make_unique<TCliProcess>(
          d, kTest + " --segment " + std::to_string(i) + "/" + std::to_string(kSegments) +
                 " --start-at " + std::to_string(at) + " --run-interval 1 --output-dir . --json " +
                 quoted(dir.file("s" + std::to_string(i) + ".json"))));
    }
    together = true;
    for (size_t i = 0; i < segments.size() && together; ++i) {
      const double left = double(at - 300 - epochmsnow()) / 1000;
      together = left > 0 &&
                 segments[i]->waitfor(segdirs[i]->file(".stderr"), "waiting for the start", left);
    }
    if (together) break;
  }
  ASSERT_TRUE(together) << "the segments could not be started together";
  for (auto& p : segments) ASSERT_EQ(p->wait(), 0) << p->err();

  // Every request of the unsplit test reached the server exactly once, and nothing else.
  const std::vector<std::string> requests = requestlog(dir.file("requests.log"));
  EXPECT_EQ(requests.size(), 3u + 7u + 10u);
  EXPECT_EQ(requests, requestlog(wholedir.file("requests.log")));

  TCliResult merged = clirun(dir, "--merge . --html merged.html");
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(maskedresults(merged.out), maskedresults(whole.out));
  EXPECT_THAT(merged.out, ::testing::HasSubstr("Merged from 4 segments: run starts "));

  // The segments' first requests left within a few tens of milliseconds of each other.
  std::vector<double> firststarts;
  std::vector<double> waits;
  for (int i = 1; i <= kSegments; ++i) {
    auto doc = nlohmann::json::parse(readfile(dir.file("s" + std::to_string(i) + ".json")));
    ASSERT_EQ(doc["segment"]["number"], i);
    for (const auto& run : doc["runs"]) {
      for (double w : run["requests"]["wait_ms"]) waits.push_back(w);
    }
    const auto run1 = doc["runs"][0]["requests"]["start_ms"].get<std::vector<double>>();
    if (run1.empty()) continue;  // run 1 has 3 users: segment 4 owns none
    firststarts.push_back(doc["started_epoch_ms"].get<double>() +
                          *std::min_element(run1.begin(), run1.end()));
  }
  ASSERT_EQ(firststarts.size(), 3u);
  const auto [lo, hi] = std::minmax_element(firststarts.begin(), firststarts.end());
  EXPECT_LT(*hi - *lo, 60.0) << "the segments' first requests started " << *hi - *lo << " ms apart";

  // The merged percentiles are those of every request of every segment.
  TCliResult json =
      clirun(dir, "--merge " + dir.file("s1.json") + " " + dir.file("s2.json") + " " +
                      dir.file("s3.json") + " " + dir.file("s4.json") + " --json merged.json -q");
  ASSERT_EQ(json.status, 0) << json.err;
  auto doc = nlohmann::json::parse(readfile(dir.file("merged.json")));
  const TPercentiles p = percentiles(waits);
  EXPECT_EQ(doc["totals"]["completed"], 20);
  EXPECT_NEAR(doc["totals"]["wait_ms"]["median"].get<double>(), p.median, 0.001);
  EXPECT_NEAR(doc["totals"]["wait_ms"]["p99"].get<double>(), p.p99, 0.001);
  EXPECT_EQ(doc["merged_segments"], kSegments);
  EXPECT_EQ(doc["runs"][2]["users"], 10);
  EXPECT_LT(doc["runs"][0]["segment_start_spread_ms"].get<double>(), 60.0);

  // The merge carries every segment's server times.
  EXPECT_EQ(doc["totals"]["server_ms"]["count"], 20);

  // The report of a ramp test: the request chart, the server-time chart and the ramp chart.
  const std::string html = readfile(dir.file("merged.html"));
  size_t charts = 0;
  for (size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) {
    ++charts;
  }
  EXPECT_EQ(charts, 3u);
}

// A damaged segment file is named with a plain reason, and nothing is merged.
TEST(SplitTest, MergeOfACutOffFileSaysSoPlainly) {
  TTempDir dir;
  TTargetServer target;
  ASSERT_EQ(
      clirun(dir, "--users 2 -q --output-dir . --json s1.json " + quoted(target.url("/size/5")))
          .status,
      0);
  const std::string whole = readfile(dir.file("s1.json"));
  writefile(dir.file("s1.json"), whole.substr(0, whole.size() / 2));
  TCliResult r = clirun(dir, "--merge s1.json --json merged.json");
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_THAT(r.err, ::testing::HasSubstr("--merge: s1.json: not valid JSON (cut off"));
  EXPECT_THAT(r.err, ::testing::Not(::testing::HasSubstr("json.exception")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("merged.json")));
}

// --timeout bounds the whole program, the wait for the start included.
TEST(SplitTest, TheTimeoutEndsTheWaitForTheStart) {
  TTempDir dir;
  TTargetServer target({"--log"}, dir.file("requests.log"));
  TCliResult r = clirun(dir, "--timeout 0.3 --start-at " + std::to_string(epochmsnow() + 3600000) +
                                 " --output-dir . --json s.json " + quoted(target.url("/size/5")));
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_THAT(r.err, ::testing::HasSubstr("--timeout 0.3 s passed before the start at "));
  EXPECT_EQ(requestlog(dir.file("requests.log")).size(), 0u);
  EXPECT_EQ(readfile(dir.file("s.json")), "");
}

// Results of different tests, or an incomplete set, are refused with every problem named.
TEST(SplitTest, MergeRefusesMissingDuplicateAndForeignSegments) {
  TTempDir dir;
  TTargetServer target;
  const std::string url = quoted(target.url("/size/5"));
  for (const char* seg : {"1/3", "2/3"}) {
    std::string name = std::string("s") + seg[0] + ".json";
    ASSERT_EQ(clirun(dir, "--users 6 --segment " + std::string(seg) + " -q --output-dir . --json " +
                              name + " " + url)
                  .status,
              0);
  }
  TCliResult r = clirun(dir, "--merge s1.json s2.json");
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_THAT(r.err, ::testing::HasSubstr("missing segment(s) 3 of 3 of test "));
  r = clirun(dir, "--merge s1.json s2.json s2.json");
  EXPECT_THAT(r.err, ::testing::HasSubstr("segment 2/3 appears 2 times: s2.json, s2.json"));

  // The same segment numbers of another test (a different URL) do not mix with these.
  ASSERT_EQ(clirun(dir, "--users 6 --segment 3/3 -q --output-dir . --json s3.json " +
                            quoted(target.url("/size/6")))
                .status,
            0);
  r = clirun(dir, "--merge .");
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_THAT(r.err, ::testing::HasSubstr("segments of different tests"));
  EXPECT_EQ(r.out, "");
}

// Ctrl-C while a segment waits for its start ends it at once, before any request.
TEST(SplitTest, InterruptWhileWaitingForTheStartSendsNothing) {
  TTempDir dir;
  TTargetServer target({"--log"}, dir.file("requests.log"));
  TCliProcess p(dir, "--segment 1/2 --start-at " + std::to_string(epochmsnow() + 60000) +
                         " --output-dir . --json s.json " + quoted(target.url("/size/5")));
  ASSERT_TRUE(p.waitfor(dir.file(".stderr"), "waiting for the start at "));
  const int64_t sent = epochmsnow();
  p.signal(SIGINT);
  EXPECT_EQ(p.wait(), 130) << p.err();
  EXPECT_LT(epochmsnow() - sent, 5000);
  EXPECT_EQ(requestlog(dir.file("requests.log")).size(), 0u);
  EXPECT_EQ(readfile(dir.file("s.json")), "");
}
