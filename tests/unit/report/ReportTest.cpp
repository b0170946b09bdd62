// The Qt-free result writers: order statistics, run figures, the JSON shape, CSV quoting, the HTML
// page and result files that fail without leaving half a file.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "report/CsvReport.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"
#include "report/OutputFile.h"
#include "report/RunFigures.h"
#include "support/TestSupport.h"

namespace {

TRequestRecords sample() {
  // Run 1: three users, one of them a 404 without a first byte; run 2: one time-out.
  static const std::string a = "http://127.0.0.1/a", b = "http://127.0.0.1/b,\"x\"";
  TRequestRecords r;
  // Server times where a response came: below the waits, which hold our own delays too.
  // The first came over TLS; the 404 never connected.
  r.add({0, 2, &a, 1.5, 30, 10, 200, 0, 100, 4.25, 1.5, 0.25, 3.5});
  r.add({0, 1, &b, 1.0, 10, -1, 404, 10061, 0});
  r.add({0, 3, &a, 2.0, 20, 5, 200, 0, 300, 2.0, 0.75, 0.125});
  r.endrun(0, 3, 40, false);
  r.add({1, 1, &a, 5000, 7, -1, 0, 0, 0});
  r.endrun(1, 1, 8, true);
  return r;
}

}  // namespace

TEST(Percentiles, NearestRankPicksMeasuredValues) {
  std::vector<double> ten{10, 1, 9, 2, 8, 3, 7, 4, 6, 5};
  TPercentiles p = percentiles(ten);
  EXPECT_EQ(p.count, 10u);
  EXPECT_EQ(p.min, 1);
  EXPECT_EQ(p.median, 5);  // rank ceil(5) = 5
  EXPECT_EQ(p.p90, 9);     // rank 9, not rounded up to 10 by binary arithmetic
  EXPECT_EQ(p.p99, 10);
  EXPECT_EQ(p.max, 10);
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);
  EXPECT_EQ(percentiles(hundred).p99, 99);
  EXPECT_EQ(percentiles({-1, 4, -1}).count, 1u);  // missing times are left out
  EXPECT_EQ(percentiles({-1}).count, 0u);
  EXPECT_EQ(percentiles({7}).p99, 7);
}

TEST(RunFigures, CountsRatesAndCodesPerRunAndInTotal) {
  TRequestRecords records = sample();
  TTestFigures t = testfigures(records);
  ASSERT_EQ(t.runs.size(), 2u);
  const TRunFigures& r1 = t.runs[0];
  EXPECT_EQ(r1.run, 1);
  EXPECT_EQ(r1.requests, 3u);
  EXPECT_EQ(r1.errors, 1u);
  EXPECT_NEAR(r1.errorrate, 100.0 / 3, 1e-9);
  EXPECT_EQ(r1.avgwait, 20);
  EXPECT_NEAR(r1.avgprocessing, 40.0 / 3, 1e-9);
  EXPECT_EQ(r1.bytes, 400);
  EXPECT_EQ(r1.throughput, 400.0 / 1000 / 40 * 1000);
  EXPECT_EQ(r1.firstbyte.count, 2u);
  ASSERT_EQ(r1.statuses.size(), 2u);
  EXPECT_EQ(r1.statuses[0], std::make_pair(200, size_t(2)));  // first occurrence first
  EXPECT_EQ(r1.socketcodes[1], std::make_pair(10061, size_t(1)));
  EXPECT_TRUE(t.runs[1].aborted);
  EXPECT_EQ(t.totals.requests, 4u);
  EXPECT_EQ(t.totals.errors, 2u);
  EXPECT_EQ(t.totals.wait.max, 30);
  EXPECT_EQ(t.totals.wait.min, 7);
  EXPECT_TRUE(t.totals.aborted);
}

TEST(RunFigures, AbortedRequestsAreNeitherErrorsNorPartOfTheErrorRate) {
  static const std::string a = "http://127.0.0.1/a";
  TRequestRecords r;
  // Run 1: two answers, one server error, and two requests the operator's abort ended.
  r.add({0, 1, &a, 1, 10, 5, 200, 0, 10});
  r.add({0, 2, &a, 1, 10, 5, 200, 0, 10});
  r.add({0, 3, &a, 1, 10, 5, 500, 0, 10});
  r.add({0, 4, &a, 1, 900, -1, 404, 3, 0});
  r.add({0, 5, &a, 1, 900, -1, 404, 3, 0});
  r.endrun(0, 5, 901, true);
  // Run 2: nothing but aborted requests.
  r.add({1, 1, &a, 1, 50, -1, 404, 3, 0});
  r.endrun(1, 1, 51, true);
  TTestFigures t = testfigures(r);
  EXPECT_EQ(t.runs[0].abortedrequests, 2u);
  EXPECT_EQ(t.runs[0].errors, 1u);
  EXPECT_NEAR(t.runs[0].errorrate, 100.0 / 3, 1e-9);
  EXPECT_EQ(t.runs[1].errors, 0u);
  EXPECT_EQ(t.runs[1].errorrate, 0.0);
  EXPECT_EQ(t.totals.abortedrequests, 3u);
  EXPECT_EQ(t.totals.errors, 1u);
  EXPECT_NEAR(t.totals.errorrate, 100.0 / 3, 1e-9);
  // Still completed requests with their measured waits.
  EXPECT_EQ(t.totals.requests, 6u);
  EXPECT_EQ(t.totals.wait.max, 900);

  auto j = nlohmann::json::parse(jsonreport(TReportInfo(), r, t));
  EXPECT_EQ(j["runs"][0]["aborted_requests"], 2);
  EXPECT_EQ(j["runs"][0]["errors"], 1);
  EXPECT_EQ(j["totals"]["aborted_requests"], 3);
  // No first byte in run 2: no figure, rather than a 0.0 that reads as instant.
  const auto& ttfb = j["runs"][1]["ttfb_ms"];
  EXPECT_EQ(ttfb["count"], 0);
  for (const char* k : {"min", "median", "p90", "p99", "max"}) EXPECT_TRUE(ttfb[k].is_null()) << k;
  EXPECT_EQ(j["runs"][1]["wait_ms"]["median"], 50.0);
}

// Requests this machine failed itself (no descriptor, no local port) arrive as 404 with their
// socket code: every output counts them apart, and the server's error rate leaves them out.
TEST(RunFigures, ClientErrorsAreCountedApartFromTheServersErrors) {
  static const std::string a = "http://127.0.0.1/a";
  TRequestRecords r;
  r.add({0, 1, &a, 1, 10, 5, 200, 0, 10});
  r.add({0, 2, &a, 1, 10, 5, 500, 0, 10});
  r.add({0, 3, &a, 1, 2, -1, 404, 10024, 0});
  r.add({0, 4, &a, 1, 2, -1, 404, 10049, 0});
  r.add({0, 5, &a, 1, 2, -1, 404, 10061, 0});  // refused: the server's side
  r.endrun(0, 5, 11, false);
  r.add({1, 1, &a, 1, 2, -1, 404, 10055, 0});
  r.endrun(1, 1, 3, false);
  const TTestFigures t = testfigures(r);
  EXPECT_EQ(t.runs[0].clienterrors, 2u);
  EXPECT_EQ(t.runs[0].errors, 2u);
  EXPECT_NEAR(t.runs[0].errorrate, 100.0 * 2 / 3, 1e-9);
  // Nothing reached the server: no error rate at all.
  EXPECT_EQ(t.runs[1].clienterrors, 1u);
  EXPECT_EQ(t.runs[1].errorrate, 0.0);
  EXPECT_EQ(t.totals.clienterrors, 3u);
  EXPECT_NEAR(t.totals.errorrate, 100.0 * 2 / 3, 1e-9);

  const auto j = nlohmann::json::parse(jsonreport(TReportInfo(), r, t));
  EXPECT_EQ(j["runs"][0]["client_errors"], 2);
  EXPECT_EQ(j["totals"]["client_errors"], 3);
  // The new member follows the aborted requests; the members before it keep their order.
  std::vector<std::string> keys;
  const auto ordered = nlohmann::ordered_json::parse(jsonreport(TReportInfo(), r, t));
  for (const auto& [key, value] : ordered["runs"][0].items()) keys.push_back(key);
  ASSERT_GE(keys.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 8),
            (std::vector<std::string>{"run", "users", "aborted", "completed", "aborted_requests",
                                      "client_errors", "errors", "error_rate_percent"}));

  const std::string csv = csvreport(r);
  std::istringstream lines(csv);
  std::string header, row;
  std::getline(lines, header);
  EXPECT_EQ(header,
            "run,user,url,start_ms,wait_ms,ttfb_ms,status,socket,bytes,server_ms,server_ttfb_ms,"
            "client_error,connect_ms,tls_ms");
  std::vector<char> flags;
  while (std::getline(lines, row)) {
    // The twelfth field (no URL here holds a comma).
    size_t at = 0;
    for (int i = 0; i < 11; ++i) at = row.find(',', at) + 1;
    flags.push_back(row.at(at));
  }
  EXPECT_EQ(flags, (std::vector<char>{'0', '0', '1', '1', '0', '1'}));

  TLogModel logs;
  TChartModel charts;
  const std::string page = htmlreport(TReportInfo(), logs, charts, t, r);
  EXPECT_NE(page.find("<th>Errors %</th><th>Client errors</th>"), std::string::npos);
  EXPECT_NE(page.find("<td>66.7</td><td>2</td>"), std::string::npos);
}

// A run's start loop goes into the JSON as the test's "Created ..." line told it.
TEST(JsonReport, KeepsEachRunsStartLoop) {
  static const std::string a = "http://127.0.0.1/a";
  TRequestRecords r;
  r.setstartloop(0, {0.25, 0.0234567, 127895});
  r.add({0, 1, &a, 1, 10, 5, 200, 0, 10});
  r.endrun(0, 1, 11, false);
  r.add({1, 1, &a, 1, 10, 5, 200, 0, 10});  // a result read back without it
  r.endrun(1, 1, 11, false);
  const auto j = nlohmann::json::parse(jsonreport(TReportInfo(), r, testfigures(r)));
  EXPECT_EQ(j["runs"][0]["start_loop_offset_ms"], 0.25);
  EXPECT_EQ(j["runs"][0]["start_loop_ms"], 0.023);
  EXPECT_EQ(j["runs"][0]["start_loop_requests_per_s"], 127895);
  EXPECT_FALSE(j["runs"][1].contains("start_loop_ms"));
}

TEST(JsonReport, CarriesSettingsFiguresAndColumnsButNoPassword) {
  TRequestRecords records = sample();
  TReportInfo info;
  info.testid = "t-1";
  info.started = "2026-12-07T10:00:00Z";
  info.settings.url = "http://127.0.0.1/a";
  info.settings.useuser = true;
  info.settings.username = "ann";
  info.settings.password = "s3cret-pw";
  std::string text = jsonreport(info, records, testfigures(records));
  EXPECT_EQ(text.find("s3cret-pw"), std::string::npos);
  auto j = nlohmann::json::parse(text);
  EXPECT_EQ(j["format"], kJsonFormat);
  EXPECT_EQ(j["test_id"], "t-1");
  EXPECT_EQ(j["settings"]["user"], "ann");
  ASSERT_EQ(j["runs"].size(), 2u);
  const auto& run = j["runs"][0];
  EXPECT_EQ(run["run"], 1);
  EXPECT_EQ(run["completed"], 3);
  EXPECT_EQ(run["status_codes"]["404"], 1);
  EXPECT_EQ(run["wait_ms"]["median"], 20.0);
  const auto& cols = run["requests"];
  for (const char* name :
       {"start_ms", "wait_ms", "ttfb_ms", "status", "socket", "bytes", "user", "url"}) {
    EXPECT_EQ(cols[name].size(), 3u) << name;
  }
  EXPECT_TRUE(cols["ttfb_ms"][1].is_null());
  for (const char* name : {"server_ms", "server_ttfb_ms"}) {
    ASSERT_EQ(cols[name].size(), 3u) << name;
    EXPECT_TRUE(cols[name][1].is_null()) << name;  // no response, no stamp: null, never 0
  }
  EXPECT_EQ(cols["server_ms"][0], 4.25);
  EXPECT_EQ(cols["server_ttfb_ms"][2], 0.75);
  // Only stamped requests count; a run without any has null figures.
  EXPECT_EQ(run["server_ms"]["count"], 2);
  EXPECT_EQ(run["server_ms"]["min"], 2.0);
  EXPECT_EQ(run["server_ms"]["max"], 4.25);
  EXPECT_EQ(run["server_ttfb_ms"]["median"], 0.75);
  EXPECT_EQ(j["runs"][1]["server_ms"]["count"], 0);
  EXPECT_TRUE(j["runs"][1]["server_ms"]["p99"].is_null());
  EXPECT_EQ(j["totals"]["server_ms"]["count"], 2);
  // The phases: a null where a request had none (no connection; no TLS), never a 0.
  EXPECT_EQ(cols["connect_ms"], nlohmann::json::parse("[0.25, null, 0.125]"));
  EXPECT_EQ(cols["tls_ms"], nlohmann::json::parse("[3.5, null, null]"));
  EXPECT_EQ(run["connect_ms"]["count"], 2);
  EXPECT_EQ(run["connect_ms"]["max"], 0.25);
  EXPECT_EQ(run["tls_ms"]["count"], 1);
  EXPECT_EQ(run["tls_ms"]["median"], 3.5);
  EXPECT_EQ(j["runs"][1]["tls_ms"]["count"], 0);
  EXPECT_EQ(j["request_urls"][cols["url"][1].get<size_t>()], "http://127.0.0.1/b,\"x\"");
  EXPECT_EQ(j["totals"]["completed"], 4);
  EXPECT_TRUE(j["runs"][1]["aborted"].get<bool>());
}

TEST(CsvReport, OneRowPerRequestWithQuotedUrls) {
  std::string csv = csvreport(sample());
  EXPECT_EQ(csv,
            "run,user,url,start_ms,wait_ms,ttfb_ms,status,socket,bytes,server_ms,server_ttfb_ms,"
            "client_error,connect_ms,tls_ms\n"
            "1,2,http://127.0.0.1/a,1.500,30.000,10.000,200,0,100,4.250,1.500,0,0.250,3.500\n"
            "1,1,\"http://127.0.0.1/b,\"\"x\"\"\",1.000,10.000,,404,10061,0,,,0,,\n"
            "1,3,http://127.0.0.1/a,2.000,20.000,5.000,200,0,300,2.000,0.750,0,0.125,\n"
            "2,1,http://127.0.0.1/a,5000.000,7.000,,0,0,0,,,0,,\n");
}

// A time on a decimal half (binary just below or above it) is rounded alike in both outputs, so a
// result written again from its JSON gives the same CSV.
TEST(CsvReport, TimesAreRoundedAsTheJsonRoundsThem) {
  const std::string url = "http://127.0.0.1/";
  const double halves[] = {3.4715, 0.0005, 1.0015, 2.0025, 65.7045, 68.1515, 62.4675, 0.3975};
  TRequestRecords r;
  int user = 1;
  for (double v : halves) r.add({0, user++, &url, v, v, v, 200, 0, 1, v, v});
  const auto j = nlohmann::json::parse(jsonreport(TReportInfo{}, r, testfigures(r)));
  const auto& waits = j["runs"][0]["requests"]["wait_ms"];
  std::istringstream csv(csvreport(r));
  std::string row;
  std::getline(csv, row);  // the header
  for (size_t i = 0; std::getline(csv, row); ++i) {
    // run,user,url,start_ms,wait_ms,...: the wait is the fifth field.
    std::istringstream fields(row);
    std::string field;
    for (int f = 0; f < 5; ++f) std::getline(fields, field, ',');
    ASSERT_LT(i, waits.size());
    EXPECT_EQ(std::stod(field), waits[i].get<double>()) << row;
  }
}

TEST(HtmlReport, EscapesTextAndDrawsOnePointPerRequest) {
  TRequestRecords records = sample();
  TLogModel logs;
  logs.logdatared("Results <b>&");
  TChartModel charts;
  charts.settitles("Load test: http://x/<script>", "");
  charts.addrequest(1, 30, 200);
  charts.addrequest(2, 10, 404);
  charts.addrequest(3, 20, 0);
  TReportInfo info;
  std::string page = htmlreport(info, logs, charts, testfigures(records), records);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_NE(page.find("Results &lt;b&gt;&amp;"), std::string::npos);
  size_t svgs = 0, points = 0;
  for (size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
    ++svgs;
  for (const char* cls : {"class=\"ok\"", "class=\"err\"", "class=\"to\""}) {
    for (size_t at = page.find(cls); at != std::string::npos; at = page.find(cls, at + 1)) ++points;
  }
  // No ramp chart without a ramp test; the server-time chart has the two stamped requests.
  EXPECT_EQ(svgs, 2u);
  EXPECT_EQ(points, 3u + 2);
  EXPECT_NE(page.find("aria-label=\"Server time chart\""), std::string::npos);
  // Run 1: two stamped requests, min and median 2, max 4.25; to the first byte 0.75 to 1.5.
  EXPECT_NE(page.find("<td class=\"l\">1</td><td>2</td><td>2.00</td><td>2.00</td><td>4.25</td>"
                      "<td>4.25</td><td>4.25</td><td>0.75</td>"),
            std::string::npos);
  // The phases: run 1 has two connections (0.125, shown halved to even, and 0.25) and one handshake
  // (3.5); run 2 none.
  EXPECT_NE(page.find("<h2>Connection phases</h2>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"l\">1</td><td>2</td><td>0.12</td><td>0.12</td><td>0.25</td>"
                      "<td>0.25</td><td>0.25</td><td>1</td><td>3.50</td>"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("<td class=\"l\">2 (aborted)</td><td>0</td><td colspan=\"5\">none</td>"
                      "<td>0</td><td colspan=\"5\">none</td>"),
            std::string::npos);
  info.settings.ramptest = true;
  page = htmlreport(info, logs, charts, testfigures(records), records);
  svgs = 0;
  for (size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
    ++svgs;
  EXPECT_EQ(svgs, 3u);
  // Without a single stamp (a kernel without them) neither the chart nor the table.
  TRequestRecords unstamped;
  static const std::string url = "http://127.0.0.1/";
  unstamped.add({0, 1, &url, 1, 5, 2, 200, 0, 10});
  unstamped.endrun(0, 1, 5, false);
  info.settings.ramptest = false;
  page = htmlreport(info, logs, charts, testfigures(unstamped), unstamped);
  EXPECT_EQ(page.find("Server time"), std::string::npos);
}

TEST(OutputFile, ReplacesWholeOrLeavesThePreviousFile) {
  TTempDir dir;
  std::string error;
  const std::string path = dir.file("r.json");
  ASSERT_TRUE(writeoutput(path, "first", error)) << error;
  ASSERT_TRUE(writeoutput(path, "second", error)) << error;
  EXPECT_EQ(readfile(path), "second");
  EXPECT_FALSE(writeoutput(dir.file("missing/r.json"), "x", error));
  EXPECT_NE(error.find("cannot write \"" + dir.file("missing/r.json") + "\""), std::string::npos);
  // A path that is a directory cannot take the rename; no temporary file stays behind.
  EXPECT_FALSE(writeoutput(dir.path(), "x", error));
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST(OutputFile, ALinkIsWrittenThroughAndStaysALink) {
  TTempDir dir;
  std::filesystem::create_directory(dir.file("real"));
  writefile(dir.file("real/r.json"), "old");
  std::filesystem::create_symlink("real/r.json", dir.file("r.json"));
  std::string error;
  ASSERT_TRUE(writeoutput(dir.file("r.json"), "new", error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("r.json")));
  EXPECT_EQ(readfile(dir.file("real/r.json")), "new");
  // The temporary file went beside the target, and is gone.
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.file("real"))) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}
