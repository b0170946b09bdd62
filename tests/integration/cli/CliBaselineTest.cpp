// pressbolt-cli's stored results against pressbolt-target: --report writes a result's outputs
// again without a test, --baseline compares a test with an earlier one, --max-regression fails a
// build only on a real slowdown.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "support/TargetServer.h"

using ::testing::HasSubstr;

namespace {

std::string section(const std::string& page, const std::string& from, const std::string& to) {
  const size_t a = page.find(from), b = page.find(to);
  return a == std::string::npos || b == std::string::npos ? "" : page.substr(a, b - a);
}

size_t count(const std::string& text, const std::string& what) {
  return TCliProcess::occurrences(text, what);
}

bool exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

}  // namespace

// The outputs of a stored result are those of the test that wrote it: the same JSON to the byte,
// the same CSV, the same figures in the HTML; a merged result keeps its segment lines.
TEST(CliReport, WritesAStoredOrMergedResultAgainAsItWas) {
  TTargetServer target;
  TTempDir dir;
  const std::string url = quoted(target.url("/trickle?bytes=20&ms=3"));
  TCliResult r = clirun(dir,
                        "-q --users 7 --runs 2 --output-dir . --json a.json --requests-csv "
                        "a.csv --html a.html " +
                            url);
  ASSERT_EQ(r.status, 0) << r.err;
  r = clirun(dir, "--report a.json --json b.json --requests-csv b.csv --html b.html");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Results of run 2"));
  EXPECT_EQ(readfile(dir.file("b.json")), readfile(dir.file("a.json")));
  EXPECT_EQ(readfile(dir.file("b.csv")), readfile(dir.file("a.csv")));
  const std::string b = readfile(dir.file("b.html"));
  // The page is drawn from the stored (microsecond) times: a figure may differ from the test's
  // own page in its last digit, so only its parts are checked here.
  EXPECT_NE(section(b, "<h2>Runs</h2>", "<h2>Results</h2>"), "");
  EXPECT_EQ(count(section(b, "<svg", "</svg>"), "class=\"ok\""), 14u);  // the request chart

  // Two segments merged, then the merged result written again.
  for (const char* s : {"1/2", "2/2"}) {
    r = clirun(dir, std::string("-q --users 6 --segment ") + s + " --output-dir seg --json s" +
                        s[0] + ".json " + url);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  r = clirun(dir, "-q --merge s1.json s2.json --json m.json");
  ASSERT_EQ(r.status, 0) << r.err;
  r = clirun(dir, "--report m.json --json m2.json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readfile(dir.file("m2.json")), readfile(dir.file("m.json")));
  EXPECT_THAT(r.out, HasSubstr("Merged from 2 segments: run starts"));
  // A merge is compared like a test: with a baseline of its own users only.
  r = clirun(dir, "-q --merge s1.json s2.json --json m3.json --baseline a.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("the baseline ran 7 users, this test 6; the baseline ran 2 runs"));
  EXPECT_FALSE(exists(dir.file("m3.json")));
  r = clirun(dir, "-q --report m.json --baseline s1.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("\"s1.json\" is segment 1/2 of a split test"));
  r = clirun(dir, "-q --report s2.json --baseline m.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("\"s2.json\" is a segment of a split test"));
  r = clirun(dir, "-q --merge s1.json s2.json --json m3.json --baseline m.json --max-regression 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(readfile(dir.file("m3.json")))["baseline"]["regressed"].size(),
            0u);

  // What a stored result cannot be given, and a result of a newer format.
  r = clirun(dir, "--report a.json --users 3");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("--report: --users belongs to a test, not to a stored result"));
  auto doc = nlohmann::ordered_json::parse(readfile(dir.file("a.json")));
  doc["format"] = 2;
  writefile(dir.file("new.json"), doc.dump());
  r = clirun(dir, "--report new.json --json c.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("new.json: JSON format 2 cannot be read by this version"));
  EXPECT_FALSE(exists(dir.file("c.json")));
}

// A baseline of other users or runs is refused before anything runs or is written; another URL
// is compared and said.
TEST(CliBaseline, RefusesAnotherTestAndStatesAnotherUrl) {
  TTargetServer target;
  TTempDir dir;
  TCliResult r =
      clirun(dir, "-q --users 3 --output-dir . --json old.json " + quoted(target.url("/size/50")));
  ASSERT_EQ(r.status, 0) << r.err;

  r = clirun(dir, "-q --users 4 --output-dir . --json new.json --baseline old.json " +
                      quoted(target.url("/size/50")));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(
      r.err,
      "pressbolt-cli: --baseline: cannot compare with \"old.json\": the baseline ran 3 users, "
      "this test 4\n");
  EXPECT_FALSE(exists(dir.file("new.json")));
  r = clirun(dir, "-q --users 3 --runs 2 --ramp --output-dir . --baseline old.json " +
                      quoted(target.url("/size/50")));
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("the baseline ran 1 runs, this test 2; this test is a ramp test"));
  r = clirun(dir, "--report old.json --max-regression 10");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("--max-regression: needs --baseline FILE"));

  r = clirun(dir, "--users 3 --output-dir . --json new.json --baseline old.json " +
                      quoted(target.url("/size/60")));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("The baseline tested " + target.url("/size/50") + "; this test " +
                               target.url("/size/60")));
  EXPECT_THAT(r.out, HasSubstr("Median wait [ms]"));
  auto j = nlohmann::json::parse(readfile(dir.file("new.json")));
  auto old = nlohmann::json::parse(readfile(dir.file("old.json")));
  EXPECT_EQ(j["baseline"]["test_id"], old["test_id"]);
  EXPECT_EQ(j["baseline"]["tested"]["this_test"], target.url("/size/60"));
  EXPECT_EQ(j["baseline"]["totals"]["old"]["wait_median_ms"], old["totals"]["wait_ms"]["median"]);
}

// A slower server fails --max-regression after every output is written; the same server, or a
// faster one, does not.
TEST(CliBaseline, MaxRegressionFailsOnASlowdownOnly) {
  TTargetServer target;
  TTempDir dir;
  const std::string fast = quoted(target.url("/trickle?bytes=1&ms=2"));
  const std::string slow = quoted(target.url("/trickle?bytes=1&ms=60"));
  ASSERT_EQ(clirun(dir, "-q --users 5 --output-dir . --json fast.json " + fast).status, 0);
  ASSERT_EQ(clirun(dir, "-q --users 5 --output-dir . --json slow.json " + slow).status, 0);

  TCliResult r = clirun(dir,
                        "-q --users 5 --output-dir . --json new.json --html new.html --baseline "
                        "fast.json --max-regression 20 " +
                            slow);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(count(r.err, "\n"), 1u) << r.err;
  EXPECT_THAT(r.err, HasSubstr("pressbolt-cli: --max-regression 20 %: slower than the baseline: "
                               "median wait "));
  auto j = nlohmann::json::parse(readfile(dir.file("new.json")));
  EXPECT_EQ(j["baseline"]["max_regression_percent"], 20.0);
  EXPECT_THAT(j["baseline"]["regressed"].dump(), HasSubstr("wait_median_ms"));
  const std::string page = readfile(dir.file("new.html"));
  EXPECT_EQ(count(page, "<polyline class=\"share\""), 2u);
  EXPECT_THAT(page, HasSubstr("<h2>Baseline</h2>"));

  // Stored results compare alike, in both directions.
  r = clirun(dir, "-q --report slow.json --baseline fast.json --max-regression 20");
  EXPECT_EQ(r.status, 3);
  r = clirun(dir, "-q --report fast.json --baseline slow.json --max-regression 20");
  EXPECT_EQ(r.status, 0) << r.err;
  r = clirun(dir, "-q --report fast.json --baseline fast.json --max-regression 0");
  EXPECT_EQ(r.status, 0) << r.err;
}
