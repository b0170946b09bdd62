// pressbolt-cli's machine-readable and visual outputs against pressbolt-target: the JSON agrees
// with the detailed log, the CSV with the "Results" view, the HTML holds the charts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "CliProcess.h"
#include "support/TargetServer.h"

namespace {

// The user wait times of the detailed log's "Request n Done: t ms" lines, in log order.
std::vector<double> loggedwaits(const std::string& log) {
  std::vector<double> waits;
  std::regex done("Request [0-9]+ Done: ([0-9]+) ms");
  for (std::sregex_iterator it(log.begin(), log.end(), done), end; it != end; ++it) {
    waits.push_back(std::stod((*it)[1]));
  }
  return waits;
}

double rank(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t r = static_cast<size_t>(std::ceil(p / 100 * v.size() - 1e-9));
  return v[r == 0 ? 0 : r - 1];
}

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  std::string part;
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!line.empty() && line.back() == sep) parts.emplace_back();
  return parts;
}

// Every tag closed in order (void elements and self-closed tags aside): enough to tell a page
// that a browser or an XML reader takes whole from one cut short or mis-nested.
bool balanced(const std::string& page) {
  std::vector<std::string> open;
  std::regex tag("<(/?)([a-zA-Z][a-zA-Z0-9]*)[^>]*?(/?)>");
  for (std::sregex_iterator it(page.begin(), page.end(), tag), end; it != end; ++it) {
    std::string name = (*it)[2];
    if (name == "meta" || name == "br" || (*it)[3] == "/") continue;
    if ((*it)[1] == "/") {
      if (open.empty() || open.back() != name) return false;
      open.pop_back();
    } else {
      open.push_back(name);
    }
  }
  return open.empty();
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(CliOutput, JsonShapeAndPercentilesAgreeWithTheDetailedLog) {
  TTargetServer target;
  TTempDir dir;
  TCliResult r = clirun(dir, "-q --users 40 --runs 2 --output-dir . --json r.json " +
                                 quoted(target.url("/trickle?bytes=300&ms=1")));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");  // --quiet
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["format"], 1);
  EXPECT_FALSE(j["test_id"].get<std::string>().empty());
  EXPECT_FALSE(j["aborted"].get<bool>());
  EXPECT_EQ(j["settings"]["users"], 40);
  ASSERT_EQ(j["runs"].size(), 2u);
  std::vector<double> logged = loggedwaits(readfile(dir.file("Pressbolt Detailed Results.log")));
  ASSERT_EQ(logged.size(), 80u);
  std::vector<double> all;
  for (size_t i = 0; i < 2; ++i) {
    const auto& run = j["runs"][i];
    EXPECT_EQ(run["run"], i + 1);
    EXPECT_EQ(run["completed"], 40);
    EXPECT_EQ(run["status_codes"]["200"], 40);
    EXPECT_EQ(run["bytes"], 40 * 300);
    std::vector<double> waits = run["requests"]["wait_ms"].get<std::vector<double>>();
    ASSERT_EQ(waits.size(), 40u);
    // The log rounds each time to whole milliseconds, halves to even; rounding keeps the order,
    // so each percentile of the log is the rounded percentile of the JSON.
    std::vector<double> runlog(logged.begin() + 40 * long(i), logged.begin() + 40 * long(i + 1));
    for (auto [name, p] : {std::pair{"median", 50.0}, {"p90", 90.0}, {"p99", 99.0}}) {
      EXPECT_NEAR(std::nearbyint(run["wait_ms"][name].get<double>()), rank(runlog, p), 1) << name;
    }
    EXPECT_NEAR(run["wait_ms"]["max"].get<double>(), *std::max_element(waits.begin(), waits.end()),
                1e-9);
    EXPECT_GT(run["ttfb_ms"]["count"], 0);
    EXPECT_LE(run["ttfb_ms"]["median"].get<double>(), run["wait_ms"]["max"].get<double>());
    all.insert(all.end(), waits.begin(), waits.end());
  }
  EXPECT_EQ(j["totals"]["completed"], 80);
  // The first response: its body's bytes, beside the length of its view with CR LF line ends.
  EXPECT_EQ(j["first_response_bytes"], 300);
  EXPECT_GE(j["first_response_length"].get<int>(), 300);
  EXPECT_NEAR(j["totals"]["wait_ms"]["p90"].get<double>(), rank(all, 90), 1e-9);
}

TEST(CliOutput, CsvRowsAgreeWithTheResultsView) {
  TTargetServer target;
  TTempDir dir;
  writefile(dir.file("urls.txt"), target.url("/size/100") + "\n" + target.url("/status/404") +
                                      "\n" + target.url("/size/7") + "\n");
  TCliResult r = clirun(dir,
                        "--users 9 --runs 2 --urls urls.txt --output-dir . --requests-csv "
                        "r.csv --max-error-rate 50");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string csv = readfile(dir.file("r.csv"));
  std::stringstream in(csv);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line,
            "run,user,url,start_ms,wait_ms,ttfb_ms,status,socket,bytes,server_ms,"
            "server_ttfb_ms,client_error,connect_ms,tls_ms");
  std::map<std::string, std::map<std::string, int>> statuses;  // run -> status -> rows
  std::map<std::string, long> bytes;                           // run -> bytes
  std::map<std::string, long> byurl;                           // URL -> bytes
  size_t rows = 0;
  while (std::getline(in, line)) {
    auto f = split(line, ',');
    ASSERT_EQ(f.size(), 14u) << line;
    EXPECT_EQ(f[11], "0") << line;  // every request reached the server
    // Every request had an answer, so the kernel stamped each one: never more than the wait.
    ASSERT_FALSE(f[9].empty()) << line;
    // Each connected, over plain HTTP: a connect time within the wait, and no TLS time.
    ASSERT_FALSE(f[12].empty()) << line;
    EXPECT_LE(std::stod(f[12]), std::stod(f[4])) << line;
    EXPECT_TRUE(f[13].empty()) << line;
    EXPECT_LE(std::stod(f[10]), std::stod(f[9])) << line;
    EXPECT_LE(std::stod(f[9]), std::stod(f[4])) << line;
    ++statuses[f[0]][f[6]];
    bytes[f[0]] += std::stol(f[8]);
    byurl[f[2]] += std::stol(f[8]);
    ++rows;
  }
  EXPECT_EQ(rows, 18u);
  for (const char* run : {"1", "2"}) {
    EXPECT_EQ(statuses[run]["200"], 6);
    EXPECT_EQ(statuses[run]["404"], 3);
  }
  EXPECT_EQ(byurl[target.url("/size/100")], 2 * 3 * 100);
  EXPECT_EQ(byurl[target.url("/size/7")], 2 * 3 * 7);
  // The Results view tallies the same codes for both runs.
  EXPECT_EQ(count(r.out, "Resulting statuscodes: 6x\"200\" (=OK), 3x\"404\" (=Not Found), "), 2u);
  std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  std::smatch m;
  std::regex total("Total Bytes: ([0-9]+) Bytes");
  ASSERT_TRUE(std::regex_search(log, m, total));
  EXPECT_EQ(std::stol(m[1]), bytes["1"]);
}

TEST(CliOutput, HtmlHoldsRequestAndServerChartsPlusRampWithOnePointPerRequestEach) {
  TTargetServer target;
  TTempDir dir;
  TCliResult r =
      clirun(dir, "-q --users 12 --output-dir . --html plain.html " + target.url("/size/50"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::string page = readfile(dir.file("plain.html"));
  EXPECT_TRUE(balanced(page));
  // The request chart, and the server-time chart with the same points at their server times.
  EXPECT_EQ(count(page, "<svg"), 2u);
  EXPECT_EQ(count(page, "class=\"ok\""), 2 * 12u);
  EXPECT_NE(page.find("Resulting statuscodes: 12x"), std::string::npos);

  r = clirun(dir, "-q --users 12 --runs 3 --ramp --output-dir . --html ramp.html " +
                      target.url("/status/500"));
  ASSERT_EQ(r.status, 0) << r.err;
  page = readfile(dir.file("ramp.html"));
  EXPECT_TRUE(balanced(page));
  EXPECT_EQ(count(page, "<svg"), 3u);
  EXPECT_EQ(count(page, "class=\"err\""), 2 * (4u + 8 + 12));  // the ramp's 4, 8 and 12 users
  EXPECT_NE(page.find("100% Errors"), std::string::npos);
}
