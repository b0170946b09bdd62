// The server's own time that pressbolt-cli reports from kernel receive stamps, against a server
// whose time is known: pressbolt-target's /delay answers a set time after it has read the request.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "support/TargetServer.h"

namespace {

constexpr double kDelayMs = 60;

}  // namespace

// The server cannot answer before it has the request, and it holds every answer at least the
// delay, so no server time may be below it: that bound is exact. Above it, the server's timer
// (whole milliseconds) adds up to one, and on a busy shared machine the server process waits for
// a core before it reads a request or answers (that is its own time too), so the median is held
// to a loose bound only.
// The user's wait also holds our start loop and reading, so it is never below the server time.
TEST(ServerTime, AServerThatHoldsEveryAnswerIsReportedNeverFasterAndCloseAbove) {
  TTargetServer target;
  TTempDir dir;
  TCliResult r = clirun(dir, "-q --users 300 --output-dir . --json r.json --requests-csv r.csv " +
                                 quoted(target.url("/delay?ms=" + std::to_string(int(kDelayMs)))));
  ASSERT_EQ(r.status, 0) << r.err;
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  const auto& run = j["runs"][0];
  ASSERT_EQ(run["status_codes"]["200"], 300);
  const auto& cols = run["requests"];
  ASSERT_EQ(cols["server_ms"].size(), 300u);
  for (size_t i = 0; i < 300; ++i) {
    ASSERT_FALSE(cols["server_ms"][i].is_null()) << i;
    const double server = cols["server_ms"][i].get<double>();
    const double ttfb = cols["server_ttfb_ms"][i].get<double>();
    EXPECT_GE(ttfb, kDelayMs) << i;
    EXPECT_GE(server, ttfb) << i;
    EXPECT_LE(server, cols["wait_ms"][i].get<double>()) << i;
  }
  EXPECT_EQ(run["server_ms"]["count"], 300);
  EXPECT_GE(run["server_ms"]["min"].get<double>(), kDelayMs);
  EXPECT_LE(run["server_ms"]["median"].get<double>(), kDelayMs + 20);
  EXPECT_EQ(j["totals"]["server_ms"]["count"], 300);
  EXPECT_EQ(readfile(dir.file("Pressbolt Detailed Results.log")).find("no receive timestamp"),
            std::string::npos);
}

// --max-p99-server is a limit like --max-p99-wait: exit status 3 after everything is written.
TEST(ServerTime, MaxP99ServerIsALimit) {
  TTargetServer target;
  TTempDir dir;
  const std::string url = quoted(target.url("/delay?ms=30"));
  TCliResult over =
      clirun(dir, "-q --users 5 --max-p99-server 20 --output-dir . --json r.json " + url);
  EXPECT_EQ(over.status, 3) << over.err;
  EXPECT_NE(over.err.find("run 1: 99th percentile server time "), std::string::npos) << over.err;
  EXPECT_NE(over.err.find(" ms exceeds --max-p99-server 20"), std::string::npos) << over.err;
  EXPECT_FALSE(readfile(dir.file("r.json")).empty());
  EXPECT_EQ(clirun(dir, "-q --users 5 --max-p99-server 5000 " + url).status, 0);
  EXPECT_EQ(clirun(dir, "-q --users 5 --max-p99-server fast " + url).status, 2);
}
