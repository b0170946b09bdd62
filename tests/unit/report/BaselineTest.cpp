// Stored results read back (round trips, newer formats, merged results) and the comparison with a
// baseline: which figures are compared, when --max-regression breaks, and the distribution chart.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "report/Baseline.h"
#include "report/JsonReport.h"
#include "report/StoredResult.h"

using ::testing::HasSubstr;
using TJson = nlohmann::ordered_json;

namespace {

const std::string kUrl = "http://127.0.0.1:1/";

TReportInfo info(int users, int runs) {
  TReportInfo i;
  i.testid = "T-" + std::to_string(users);
  i.started = "2026-12-07T10:00:00Z";
  i.settings.url = kUrl;
  i.settings.users = users;
  i.settings.runs = runs;
  i.epochms = 1765101600000.25;
  i.clientsystem = {"Client system: A", "Client system: B"};
  return i;
}

// One run per entry of waits, one user per wait; times that the JSON's microseconds must round.
std::string resultjson(const std::vector<std::vector<long double>>& waits, const TReportInfo& i) {
  TRequestRecords r;
  for (size_t run = 0; run < waits.size(); ++run) {
    long double last = 0;
    for (size_t u = 0; u < waits[run].size(); ++u) {
      const long double start = 0.1234567L * static_cast<long double>(u + 1) + 1000.0L * run;
      r.add({int(run), int(u) + 1, &kUrl, start, waits[run][u], waits[run][u] / 3, 200, 0,
             int64_t(100 + u)});
      last = std::max(last, start + waits[run][u] - 1000.0L * run);
    }
    r.endrun(int(run), int(waits[run].size()), last + 0.0004567L, false);
  }
  return jsonreport(i, r, testfigures(r));
}

TStoredResult stored(const std::string& json) {
  TStoredResult s;
  std::string error;
  EXPECT_TRUE(parsestoredresult("r.json", json, s, error)) << error;
  return s;
}

// The result with a "server_ms" block of the given median and p99 in every run and the totals.
std::string withserver(const std::string& json, double median, double p99) {
  TJson doc = TJson::parse(json);
  const TJson block = {{"count", 3}, {"min", median / 2}, {"median", median},
                       {"p90", p99}, {"p99", p99},        {"max", p99}};
  for (auto& run : doc["runs"]) run["server_ms"] = block;
  doc["totals"]["server_ms"] = block;
  return doc.dump();
}

TBaselineComparison compare(const std::string& old, const std::string& now) {
  return comparebaseline(stored(old), stored(now));
}

bool hasfigure(const TRunComparison& r, const std::string& key) {
  for (const auto& f : r.figures)
    if (f.key == key) return true;
  return false;
}

}  // namespace

// Written, read back and written again, a result keeps every byte: the averages as stored,
// everything else from the rounded request columns.
TEST(StoredResult, ReadBackAndWrittenAgainIsTheSame) {
  const std::string first = resultjson(
      {{10.0004999L, 20.0005001L, 33.3333333L}, {0.0004L, 0.0004L, 0.0014L}}, info(3, 2));
  const TStoredResult s = stored(first);
  EXPECT_EQ(jsonreport(s.info, s.records, s.figures), first);
  EXPECT_FALSE(s.merged());
  ASSERT_EQ(s.figures.runs.size(), 2u);
  // Worked out again from the rounded columns, run 2's average wait would read 0.
  EXPECT_EQ(s.figures.runs[1].avgwait, 0.001);
  EXPECT_EQ(s.charts.requests().size(), 6u);
  // One process's result has no line about segments.
  std::string text;
  for (const auto& line : s.logs.resultlines()) text += line.text + "\n";
  EXPECT_THAT(text, HasSubstr("Results of run 2"));
  EXPECT_EQ(text.find("Merged from"), std::string::npos);

  // A merged result keeps its segment count and each run's start spread, and says so.
  TReportInfo m = info(3, 2);
  m.mergedsegments = 3;
  m.startspreadms = {0.25, 1.5};
  const std::string merged = resultjson({{10, 20, 30}, {1, 2}}, m);
  const TStoredResult ms = stored(merged);
  EXPECT_EQ(jsonreport(ms.info, ms.records, ms.figures), merged);
  EXPECT_TRUE(ms.merged());
  EXPECT_EQ(ms.logs.resultlines().size(), s.logs.resultlines().size() + 2);
}

TEST(StoredResult, RefusesANewerFormatAndWhatIsNoResult) {
  TJson doc = TJson::parse(resultjson({{10}}, info(1, 1)));
  TStoredResult s;
  std::string error;
  doc["format"] = 2;
  EXPECT_FALSE(parsestoredresult("new.json", doc.dump(), s, error));
  EXPECT_EQ(error, "new.json: JSON format 2 cannot be read by this version (it reads format 1)");
  doc["format"] = "1";
  EXPECT_FALSE(parsestoredresult("text.json", doc.dump(), s, error));
  EXPECT_THAT(error, HasSubstr("JSON format \"1\" cannot be read"));
  EXPECT_FALSE(parsestoredresult("cut.json", doc.dump().substr(0, 50), s, error));
  EXPECT_THAT(error, HasSubstr("cut.json: not valid JSON"));
  doc["format"] = 1;
  doc["runs"][0]["server_ms"] = {{"count", 1}, {"median", 3}};
  EXPECT_FALSE(parsestoredresult("server.json", doc.dump(), s, error));
  EXPECT_EQ(error, "server.json: runs[0].server_ms.min: is missing");
}

TEST(Baseline, RefusesOtherUsersRunsOrRampAndStatesAnotherUrl) {
  TestSettings now = info(3, 2).settings;
  EXPECT_EQ(baselinemismatch(info(3, 2), now), "");
  now.users = 4;
  now.runs = 1;
  now.ramptest = true;
  EXPECT_EQ(baselinemismatch(info(3, 2), now),
            "the baseline ran 3 users, this test 4; the baseline ran 2 runs, this test 1; this "
            "test is a ramp test, the baseline was not");

  TReportInfo other = info(1, 1);
  other.settings.url = "http://127.0.0.1:2/x";
  const TBaselineComparison c = compare(resultjson({{10}}, info(1, 1)), resultjson({{10}}, other));
  EXPECT_EQ(c.oldurl, kUrl);
  EXPECT_EQ(c.newurl, "http://127.0.0.1:2/x");
  EXPECT_THAT(baselinetext(c), HasSubstr("The baseline tested " + kUrl + "; this test http"));
  EXPECT_EQ(compare(resultjson({{10}}, info(1, 1)), resultjson({{10}}, info(1, 1))).oldurl, "");
}

// Worse by more than the share and by more than 1 ms, both; a fast server's noise never fails.
TEST(Baseline, RegressionNeedsThePercentAndTheMillisecond) {
  const TReportInfo i = info(3, 1);
  const std::string base = resultjson({{50, 50, 50}}, i);
  EXPECT_TRUE(regressions(compare(base, resultjson({{59, 59, 59}}, i)), 20).empty());
  const auto slower = regressions(compare(base, resultjson({{61, 61, 61}}, i)), 20);
  ASSERT_EQ(slower.size(), 2u);
  EXPECT_EQ(slower[0], "median wait 61.0 ms against 50.0 ms (+22.0 %)");
  EXPECT_THAT(slower[1], HasSubstr("99th percentile wait"));
  // +350 % but under a millisecond.
  EXPECT_TRUE(
      regressions(compare(resultjson({{0.2, 0.2, 0.2}}, i), resultjson({{0.9, 0.9, 0.9}}, i)), 20)
          .empty());
  // Faster is never a regression.
  EXPECT_TRUE(regressions(compare(resultjson({{61, 61, 61}}, i), base), 0).empty());
  // Only the p99 got worse.
  EXPECT_THAT(regressions(compare(base, resultjson({{50, 50, 90}}, i)), 20),
              testing::ElementsAre(HasSubstr("99th percentile wait 90.0 ms")));
}

// The server's own time counts where both results carry it, and only there.
TEST(Baseline, ServerTimeIsComparedWhereBothHaveIt) {
  const TReportInfo i = info(3, 1);
  const std::string plain = resultjson({{50, 50, 50}}, i);
  const std::string fast = withserver(plain, 10, 12), slow = withserver(plain, 30, 31);
  EXPECT_FALSE(hasfigure(compare(plain, slow).totals, "server_median_ms"));
  EXPECT_FALSE(hasfigure(compare(slow, plain).runs[0], "server_p99_ms"));
  const TBaselineComparison c = compare(fast, slow);
  EXPECT_TRUE(hasfigure(c.runs[0], "server_median_ms"));
  EXPECT_THAT(regressions(c, 50),
              testing::ElementsAre("median server time 30.0 ms against 10.0 ms (+200.0 %)",
                                   HasSubstr("99th percentile server time 31.0 ms")));
  const TJson block = TJson::parse(baselinejson(c, 50));
  EXPECT_EQ(block["totals"]["old"]["server_median_ms"], 10.0);
  EXPECT_EQ(block["totals"]["change"]["server_median_ms"]["percent"], 200.0);
  EXPECT_EQ(block["regressed"], TJson({"server_median_ms", "server_p99_ms"}));
  EXPECT_EQ(block["runs"][0]["run"], 1);
}

// The connection's phases count where both results carry them, each phase on its own: a plain
// test has a connect time but no handshake, an older result neither.
TEST(Baseline, PhaseTimesAreComparedWhereBothHaveThem) {
  const TReportInfo i = info(3, 2);
  auto phased = [&](double connect, double tls) {
    TRequestRecords r;
    for (int run = 0; run < 2; ++run) {
      for (int u = 1; u <= 3; ++u) {
        TRequestOutcome o{run, u, &kUrl, 1000.0L * run + u, 50, 10, 200, 0, 100};
        o.connect = connect * u;
        o.tls = tls < 0 ? -1 : tls * u;
        r.add(o);
      }
      r.endrun(run, 3, 60, false);
    }
    return jsonreport(i, r, testfigures(r));
  };
  const std::string older = resultjson({{50, 50, 50}, {50, 50, 50}}, i);
  const std::string plain = phased(0.5, -1), fast = phased(0.5, 2), slow = phased(1.5, 6);
  EXPECT_FALSE(hasfigure(compare(older, fast).totals, "connect_median_ms"));
  EXPECT_FALSE(hasfigure(compare(fast, older).runs[1], "tls_median_ms"));
  const TBaselineComparison p = compare(plain, fast);
  EXPECT_TRUE(hasfigure(p.totals, "connect_median_ms"));
  EXPECT_FALSE(hasfigure(p.totals, "tls_median_ms"));
  const TBaselineComparison c = compare(fast, slow);
  ASSERT_EQ(c.runs.size(), 2u);
  for (const TRunComparison* r : {&c.runs[0], &c.runs[1], &c.totals}) {
    EXPECT_TRUE(hasfigure(*r, "connect_median_ms"));
    EXPECT_TRUE(hasfigure(*r, "tls_median_ms"));
  }
  const TJson block = TJson::parse(baselinejson(c, std::nullopt));
  EXPECT_EQ(block["runs"][1]["old"]["connect_median_ms"], 1.0);
  EXPECT_EQ(block["runs"][1]["change"]["tls_median_ms"]["absolute"], 8.0);
  EXPECT_EQ(block["totals"]["change"]["tls_median_ms"]["percent"], 200.0);
  EXPECT_THAT(baselinetext(c), HasSubstr("Median TLS handshake [ms]"));
  EXPECT_THAT(baselinehtml(c), HasSubstr("Median connect [ms]"));
  // The phases are not among what --max-regression watches.
  EXPECT_TRUE(regressions(c, 50).empty());
}

TEST(Baseline, BlockJoinsTheResultAsItsLastMember) {
  const std::string json = resultjson({{10, 20}}, info(2, 1));
  const TBaselineComparison c = compare(json, json);
  const std::string both = withbaseline(json, baselinejson(c, std::nullopt));
  const TJson doc = TJson::parse(both);
  EXPECT_EQ(doc.items().begin().key(), "format");
  EXPECT_EQ(doc.back()["test_id"], "T-2");
  EXPECT_EQ(doc.back()["totals"]["change"]["wait_median_ms"]["absolute"], 0.0);
  EXPECT_FALSE(doc.back().contains("regressed"));
  // The result with the block is still a result, and reads back as before.
  EXPECT_EQ(jsonreport(stored(both).info, stored(both).records, stored(both).figures), json);
  // Two runs get a totals block in the text; one run only its own.
  EXPECT_EQ(baselinetext(c).find("All runs"), std::string::npos);
  const std::string two = resultjson({{10}, {20}}, info(1, 2));
  EXPECT_THAT(baselinetext(compare(two, two)), HasSubstr("All runs"));
}

TEST(ShareChart, StepsFromTheFastestToTheSlowestRequest) {
  const auto p = cumulativeshare({30, -1, 10, 20, 40});
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.front(), std::make_pair(10.0, 0.0));
  EXPECT_EQ(p.back(), std::make_pair(40.0, 100.0));
  for (size_t k = 1; k < p.size(); ++k) {
    EXPECT_GE(p[k].first, p[k - 1].first);
    EXPECT_GE(p[k].second, p[k - 1].second);
  }
  // Half the requests are done at 20 ms.
  EXPECT_NE(std::find(p.begin(), p.end(), std::make_pair(20.0, 50.0)), p.end());
  // Many requests are thinned, the slowest one kept.
  std::vector<double> many;
  for (int k = 0; k < 100003; ++k) many.push_back(k);
  const auto thin = cumulativeshare(many, 1000);
  EXPECT_LE(thin.size(), 2100u);
  EXPECT_EQ(thin.back(), std::make_pair(100002.0, 100.0));
  EXPECT_TRUE(cumulativeshare({-1}).empty());

  const TChartMetrics fm = TChartMetrics::estimated(14, 12);
  const std::vector<TShareSeries> series = {{"old", chartstyle::kBaseline, p},
                                            {"new", chartstyle::kThisTest, thin}};
  const TShareChartLayout l = layoutsharechart("T", series, 900, 380, fm);
  ASSERT_TRUE(l.plotted);
  EXPECT_EQ(l.yaxis.scale.max, 100);  // the whole share, no headroom beyond it
  EXPECT_GE(l.xaxis.scale.max, 100002);
  EXPECT_EQ(l.legend.size(), 2u);
  EXPECT_FALSE(layoutsharechart("T", series, 900, 60, fm).plotted);
}
