#include "report/Baseline.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "report/HtmlReport.h"
#include "report/SvgChart.h"
#include "settings/SettingsModel.h"

using TJson = nlohmann::ordered_json;

namespace {

// The figures --max-regression watches, with the words its message uses for them.
const std::pair<const char*, const char*> kWatched[] = {
    {"wait_median_ms", "median wait"},
    {"wait_p99_ms", "99th percentile wait"},
    {"server_median_ms", "median server time"},
    {"server_p99_ms", "99th percentile server time"}};

// Below this a change is noise of a fast server, whatever its share.
constexpr double kRegressionFloorMs = 1;

std::string fixed(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  std::string s = text;
  return s.find_first_not_of("-0.") == std::string::npos && s[0] == '-' ? s.substr(1) : s;
}

std::string signedfixed(double v, int decimals) {
  const std::string s = fixed(v, decimals);
  return s[0] == '-' || s.find_first_not_of("0.") == std::string::npos ? s : "+" + s;
}

int decimalsof(const TFigureChange& f) {
  return f.key == "aborted_requests" || f.key == "requests_per_hour" ? 0 : 1;
}

std::string changetext(const TFigureChange& f) {
  std::string s = signedfixed(f.change(), decimalsof(f));
  if (auto p = f.percent()) s += " (" + signedfixed(*p, 1) + " %)";
  return s;
}

TFigureChange figure(const char* key, const char* name, double old, double now, bool ms) {
  TFigureChange f;
  f.key = key;
  f.name = name;
  f.old = old;
  f.now = now;
  f.ms = ms;
  return f;
}

TRunComparison comparerun(int run, const TRunFigures& o, const TRunFigures& n,
                          const TStoredFigures& os, const TStoredFigures& ns) {
  TRunComparison c;
  c.run = run;
  auto& f = c.figures;
  f.push_back(figure("wait_median_ms", "Median wait [ms]", o.wait.median, n.wait.median, true));
  f.push_back(figure("wait_p90_ms", "p90 wait [ms]", o.wait.p90, n.wait.p90, true));
  f.push_back(figure("wait_p99_ms", "p99 wait [ms]", o.wait.p99, n.wait.p99, true));
  f.push_back(figure("avg_wait_ms", "Average wait [ms]", o.avgwait, n.avgwait, true));
  f.push_back(figure("error_rate_percent", "Error rate [%]", o.errorrate, n.errorrate, false));
  f.push_back(figure("aborted_requests", "Aborted requests", double(o.abortedrequests),
                     double(n.abortedrequests), false));
  f.push_back(figure("requests_per_hour", "Requests per hour", std::round(o.requestsperhour),
                     std::round(n.requestsperhour), false));
  // Server times are compared only where both results carry them.
  if (os.hasserver && ns.hasserver && os.server.count > 0 && ns.server.count > 0) {
    f.push_back(figure("server_median_ms", "Median server time [ms]", os.server.median,
                       ns.server.median, true));
    f.push_back(
        figure("server_p90_ms", "p90 server time [ms]", os.server.p90, ns.server.p90, true));
    f.push_back(
        figure("server_p99_ms", "p99 server time [ms]", os.server.p99, ns.server.p99, true));
  }
  // So are the connection's phases: a result written before they were measured has none, and a
  // plain test no handshake.
  if (o.connect.count > 0 && n.connect.count > 0) {
    f.push_back(figure("connect_median_ms", "Median connect [ms]", o.connect.median,
                       n.connect.median, true));
  }
  if (o.tls.count > 0 && n.tls.count > 0) {
    f.push_back(
        figure("tls_median_ms", "Median TLS handshake [ms]", o.tls.median, n.tls.median, true));
  }
  return c;
}

std::string tested(const TReportInfo& info) {
  if (const std::string* url = testedurl(info.settings)) return *url;
  return "a list of " + std::to_string(info.urls.size()) + " URLs";
}

bool sameurls(const TReportInfo& a, const TReportInfo& b) {
  const std::string* one = testedurl(a.settings);
  const std::string* other = testedurl(b.settings);
  if (one == nullptr || other == nullptr) return one == other && a.urls == b.urls;
  return *one == *other;
}

std::vector<double> allwaits(const TRequestRecords& records) {
  std::vector<double> waits;
  for (const TRunRecords& r : records.runs())
    waits.insert(waits.end(), r.wait.begin(), r.wait.end());
  return waits;
}

std::string runname(int run) {
  return run == 0 ? "All runs" : "Run " + std::to_string(run);
}

// The comparisons shown: each run, and the totals when there is more than one run.
std::vector<const TRunComparison*> shown(const TBaselineComparison& c) {
  std::vector<const TRunComparison*> list;
  for (const auto& r : c.runs) list.push_back(&r);
  if (c.runs.size() != 1) list.push_back(&c.totals);
  return list;
}

double rounded(double v, int decimals) {
  return decimals == 0 ? std::round(v) : std::round(v * 1000.0) / 1000.0;
}

TJson figuresjson(const TRunComparison& r, bool change) {
  TJson j = TJson::object();
  for (const TFigureChange& f : r.figures) {
    const int d = decimalsof(f);
    if (!change) {
      j[f.key] = d == 0 ? TJson(int64_t(f.old)) : TJson(rounded(f.old, d));
      continue;
    }
    const auto p = f.percent();
    j[f.key] = {{"absolute", d == 0 ? TJson(int64_t(f.change())) : TJson(rounded(f.change(), d))},
                {"percent", p ? TJson(rounded(*p, 1)) : TJson(nullptr)}};
  }
  return j;
}

}  // namespace

std::optional<double> TFigureChange::percent() const {
  if (old == 0) return std::nullopt;
  return (now - old) / old * 100.0;
}

std::string baselinemismatch(const TReportInfo& baseline, const TestSettings& now) {
  const TestSettings& old = baseline.settings;
  std::string problems;
  auto add = [&](const std::string& p) { problems += (problems.empty() ? "" : "; ") + p; };
  if (old.users != now.users) {
    add("the baseline ran " + std::to_string(old.users) + " users, this test " +
        std::to_string(now.users));
  }
  if (old.runs != now.runs) {
    add("the baseline ran " + std::to_string(old.runs) + " runs, this test " +
        std::to_string(now.runs));
  }
  if (old.ramptest != now.ramptest) {
    add(old.ramptest ? "the baseline was a ramp test, this test is not"
                     : "this test is a ramp test, the baseline was not");
  }
  return problems;
}

TBaselineComparison comparebaseline(const TStoredResult& baseline, const TStoredResult& now) {
  TBaselineComparison c;
  c.oldtestid = baseline.info.testid;
  c.oldstarted = baseline.info.started;
  if (!sameurls(baseline.info, now.info)) {
    c.oldurl = tested(baseline.info);
    c.newurl = tested(now.info);
    if (c.oldurl == c.newurl) c.newurl = "a different " + c.newurl.substr(2);
  }
  const auto& o = baseline.figures.runs;
  const auto& n = now.figures.runs;
  for (size_t k = 0; k < o.size() && k < n.size(); ++k) {
    // A run without a request on either side has no figures to set against each other.
    if (o[k].requests == 0 || n[k].requests == 0) continue;
    const TStoredFigures none;
    c.runs.push_back(comparerun(o[k].run, o[k], n[k],
                                k < baseline.storedruns.size() ? baseline.storedruns[k] : none,
                                k < now.storedruns.size() ? now.storedruns[k] : none));
  }
  c.totals = comparerun(0, baseline.figures.totals, now.figures.totals, baseline.storedtotals,
                        now.storedtotals);
  c.distributions.push_back({"Baseline (" + baseline.info.started + ")", chartstyle::kBaseline,
                             cumulativeshare(allwaits(baseline.records))});
  c.distributions.push_back({"This test (" + now.info.started + ")", chartstyle::kThisTest,
                             cumulativeshare(allwaits(now.records))});
  return c;
}

std::vector<std::string> regressions(const TBaselineComparison& c, double percent) {
  std::vector<std::string> found;
  for (const auto& [key, words] : kWatched) {
    for (const TFigureChange& f : c.totals.figures) {
      if (f.key != key || f.change() <= kRegressionFloorMs) continue;
      const auto p = f.percent();
      if (p && *p <= percent) continue;
      found.push_back(std::string(words) + " " + fixed(f.now, 1) + " ms against " +
                      fixed(f.old, 1) + " ms" + (p ? " (" + signedfixed(*p, 1) + " %)" : ""));
    }
  }
  return found;
}

std::string baselinetext(const TBaselineComparison& c) {
  std::string t =
      "\nCompared with the baseline: test " + c.oldtestid + ", started " + c.oldstarted + "\n";
  if (!c.oldurl.empty()) t += "The baseline tested " + c.oldurl + "; this test " + c.newurl + "\n";
  char line[256];
  for (const TRunComparison* r : shown(c)) {
    std::snprintf(line, sizeof line, "\n%-28s%14s%14s  %s\n", runname(r->run).c_str(), "Baseline",
                  "This test", "Change");
    t += line;
    for (const TFigureChange& f : r->figures) {
      const int d = decimalsof(f);
      std::snprintf(line, sizeof line, "  %-26s%14s%14s  %s\n", f.name.c_str(),
                    fixed(f.old, d).c_str(), fixed(f.now, d).c_str(), changetext(f).c_str());
      t += line;
    }
  }
  return t;
}

std::string baselinejson(const TBaselineComparison& c, std::optional<double> maxregression) {
  TJson j;
  j["test_id"] = c.oldtestid;
  j["started"] = c.oldstarted;
  if (!c.oldurl.empty()) j["tested"] = {{"baseline", c.oldurl}, {"this_test", c.newurl}};
  j["runs"] = TJson::array();
  for (const TRunComparison& r : c.runs) {
    j["runs"].push_back(
        {{"run", r.run}, {"old", figuresjson(r, false)}, {"change", figuresjson(r, true)}});
  }
  j["totals"] = {{"old", figuresjson(c.totals, false)}, {"change", figuresjson(c.totals, true)}};
  if (maxregression) {
    j["max_regression_percent"] = *maxregression;
    TJson broken = TJson::array();
    for (const auto& [key, words] : kWatched) {
      for (const TFigureChange& f : c.totals.figures) {
        if (f.key != key || f.change() <= kRegressionFloorMs) continue;
        const auto p = f.percent();
        if (!p || *p > *maxregression) broken.push_back(key);
      }
    }
    j["regressed"] = broken;
  }
  return j.dump();
}

std::string withbaseline(const std::string& json, const std::string& baseline) {
  // jsonreport ends its last member's line with "\n}\n".
  const std::string end = "\n}\n";
  if (json.size() < end.size() || json.compare(json.size() - end.size(), end.size(), end) != 0) {
    return json;
  }
  return json.substr(0, json.size() - end.size()) + ",\n  \"baseline\": " + baseline + end;
}

std::string baselinehtml(const TBaselineComparison& c) {
  std::string h = "<h2>Baseline</h2>\n<p>Compared with test " + htmlescape(c.oldtestid) +
                  ", started " + htmlescape(c.oldstarted) + " (UTC).</p>\n";
  if (!c.oldurl.empty()) {
    h += "<p>The baseline tested " + htmlescape(c.oldurl) + "; this test " + htmlescape(c.newurl) +
         ".</p>\n";
  }
  h += "<div class=\"chart\">" +
       svgsharechart("Wait Time Distribution: Baseline And This Test", c.distributions) +
       "</div>\n";
  h += "<table>\n<tr><th>Run</th><th>Figure</th><th>Baseline</th><th>This test</th>"
       "<th>Change</th></tr>\n";
  for (const TRunComparison* r : shown(c)) {
    for (const TFigureChange& f : r->figures) {
      const int d = decimalsof(f);
      h += "<tr><td class=\"l\">" + runname(r->run) + "</td><td class=\"l\">" + htmlescape(f.name) +
           "</td><td>" + fixed(f.old, d) + "</td><td>" + fixed(f.now, d) + "</td><td>" +
           changetext(f) + "</td></tr>\n";
    }
  }
  return h + "</table>\n";
}
