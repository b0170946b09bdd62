// Every run of a split test starts at an instant all segments share: a segment stalled as run 1
// begins fires run 1 late and says so, and runs 2 and 3 still start together.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "integration/cli/CliProcess.h"
#include "segments/StartTime.h"
#include "support/TargetServer.h"

TEST(RunInstants, AStalledSegmentDoesNotSpreadTheLaterRuns) {
  TTempDir dir;
  TTargetServer target;
  constexpr int kSegments = 3;
  std::vector<std::unique_ptr<TTempDir>> dirs;
  std::vector<std::unique_ptr<TCliProcess>> segments;
  bool together = false;
  int64_t at = 0;
  // Every segment must be waiting before the instant; on a busy machine, a longer lead.
  for (int64_t lead : {3000, 10000, 30000}) {
    segments.clear();
    dirs.clear();
    at = epochmsnow() + lead;
    for (int i = 1; i <= kSegments; ++i) {
      dirs.push_back(std::make_unique<TTempDir>());
      segments.push_back(std::make_unique<TCliProcess>(
          *dirs.back(), "--users 9 --runs 3 --segment " + std::to_string(i) + "/3 --start-at " +
                            std::to_string(at) + " --run-interval 1.5 --output-dir . --json " +
                            quoted(dir.file("s" + std::to_string(i) + ".json")) + " " +
                            quoted(target.url("/size/20"))));
    }
    together = true;
    for (size_t i = 0; i < segments.size() && together; ++i) {
      const double left = double(at - 300 - epochmsnow()) / 1000;
      together =
          left > 0 && segments[i]->waitfor(dirs[i]->file(".stderr"), "waiting for the start", left);
    }
    if (together) break;
  }
  ASSERT_TRUE(together) << "the segments could not be started together";
  EXPECT_THAT(segments[0]->err(),
              ::testing::HasSubstr("runs fire every 1.5 s from the start at " + rfc3339(at)));

  // Segment 2 is stopped from just before the start until 700 ms later.
  std::this_thread::sleep_until(
      std::chrono::system_clock::time_point(std::chrono::milliseconds(at - 100)));
  segments[1]->signal(SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  segments[1]->signal(SIGCONT);
  for (auto& p : segments) ASSERT_EQ(p->wait(), 0) << p->err();

  TCliResult merged = clirun(dir, "--merge . --json merged.json");
  ASSERT_EQ(merged.status, 0) << merged.err;
  const auto doc = nlohmann::json::parse(readfile(dir.file("merged.json")));
  const auto& runs = doc["runs"];
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_GE(runs[0]["segment_late_ms"][1].get<double>(), 500) << runs[0]["segment_late_ms"];
  EXPECT_THAT(merged.out, ::testing::HasSubstr("Run 1: segment 2 fired "));
  for (int r : {1, 2}) {
    EXPECT_LT(runs[r]["segment_start_spread_ms"].get<double>(), 100) << "run " << r + 1;
    for (const auto& late : runs[r]["segment_late_ms"]) EXPECT_LT(late.get<double>(), 100);
  }
  EXPECT_EQ(doc["segment_clocks"].size(), size_t(kSegments));
}
