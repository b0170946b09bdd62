#include "report/HtmlReport.h"

#include <cstdio>

#include "common/OutputText.h"
#include "report/SvgChart.h"

namespace {

const char* kStyle = R"(body{font-family:sans-serif;margin:1.5em;color:#222}
h1{font-size:1.3em}h2{font-size:1.1em;margin-top:1.5em}
.chart{margin:0.5em 0}
pre{background:#f6f6f6;padding:0.8em;overflow-x:auto}
pre b.hl{color:#b00000}
table{border-collapse:collapse}
th,td{border:1px solid #ccc;padding:0.2em 0.6em;text-align:right}
th{background:#eee}
td.l{text-align:left}
.aborted{color:#b00000;font-weight:bold})";

std::string fixed(double v, int decimals = 1) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string cell(const std::string& text) {
  return "<td>" + text + "</td>";
}

std::string codes(const std::vector<std::pair<int, size_t>>& tally) {
  std::string text;
  for (const auto& [code, n] : tally) {
    text += (text.empty() ? "" : ", ") + std::to_string(n) + "&times;" + std::to_string(code);
  }
  return text;
}

std::string row(const std::string& name, const TRunFigures& f) {
  return "<tr><td class=\"l\">" + name + "</td>" + cell(std::to_string(f.users)) +
         cell(std::to_string(f.requests)) + cell(fixed(f.errorrate)) +
         cell(std::to_string(f.clienterrors)) + cell(fixed(f.avgwait)) + cell(fixed(f.wait.min)) +
         cell(fixed(f.wait.median)) + cell(fixed(f.wait.p90)) + cell(fixed(f.wait.p99)) +
         cell(fixed(f.wait.max)) + cell(fixed(f.firstbyte.median)) + cell(fixed(f.firstbyte.p99)) +
         cell(std::to_string(f.bytes)) + "<td class=\"l\">" + codes(f.statuses) + "</td></tr>\n";
}

std::string table(const TTestFigures& figures) {
  std::string t =
      "<table>\n<tr><th>Run</th><th>Users</th><th>Requests</th><th>Errors %</th>"
      "<th>Client errors</th><th>Avg "
      "wait</th><th>Min</th><th>Median</th><th>p90</th><th>p99</th><th>Max</th>"
      "<th>TTFB median</th><th>TTFB p99</th><th>Bytes</th><th>Status codes</th></tr>\n";
  for (const TRunFigures& f : figures.runs) {
    t += row(std::to_string(f.run) + (f.aborted ? " (aborted)" : ""), f);
  }
  if (figures.runs.size() > 1) t += row("All", figures.totals);
  return t +
         "</table>\n<p>Times in milliseconds; percentiles by the nearest-rank method. Client "
         "errors are requests this machine failed itself (no descriptor, no local port, no buffer "
         "memory): they are not in the error rate.</p>\n";
}

std::string percentilecells(const TPercentiles& p) {
  if (p.count == 0) return "<td colspan=\"5\">none</td>";
  return cell(fixed(p.min, 2)) + cell(fixed(p.median, 2)) + cell(fixed(p.p90, 2)) +
         cell(fixed(p.p99, 2)) + cell(fixed(p.max, 2));
}

std::string serverrow(const std::string& name, const TRunFigures& f) {
  return "<tr><td class=\"l\">" + name + "</td>" + cell(std::to_string(f.server.count)) +
         percentilecells(f.server) + percentilecells(f.serverttfb) + "</tr>\n";
}

std::string servertable(const TTestFigures& figures) {
  std::string t =
      "<table>\n<tr><th rowspan=\"2\">Run</th><th rowspan=\"2\">Stamped</th>"
      "<th colspan=\"5\">Server time (last byte)</th>"
      "<th colspan=\"5\">Server time to first byte</th></tr>\n<tr>";
  for (int i = 0; i < 2; ++i)
    t += "<th>Min</th><th>Median</th><th>p90</th><th>p99</th><th>Max</th>";
  t += "</tr>\n";
  for (const TRunFigures& f : figures.runs) {
    t += serverrow(std::to_string(f.run) + (f.aborted ? " (aborted)" : ""), f);
  }
  if (figures.runs.size() > 1) t += serverrow("All", figures.totals);
  return t +
         "</table>\n<p>Times in milliseconds from the moment the request was sent to the kernel's "
         "receive stamp of the response's first or last byte: the server's own time (through a "
         "proxy, the proxy's and the server's), without our start loop and reading delays.</p>\n";
}

std::string phaserow(const std::string& name, const TRunFigures& f) {
  return "<tr><td class=\"l\">" + name + "</td>" + cell(std::to_string(f.connect.count)) +
         percentilecells(f.connect) + cell(std::to_string(f.tls.count)) + percentilecells(f.tls) +
         "</tr>\n";
}

// The connection's phases, shown when some request had one (a result read back from an older
// file has none).
std::string phasetable(const TTestFigures& figures) {
  std::string t =
      "<table>\n<tr><th rowspan=\"2\">Run</th><th rowspan=\"2\">Connected</th>"
      "<th colspan=\"5\">Connect</th><th rowspan=\"2\">TLS</th>"
      "<th colspan=\"5\">TLS handshake</th></tr>\n<tr>";
  for (int i = 0; i < 2; ++i)
    t += "<th>Min</th><th>Median</th><th>p90</th><th>p99</th><th>Max</th>";
  t += "</tr>\n";
  for (const TRunFigures& f : figures.runs) {
    t += phaserow(std::to_string(f.run) + (f.aborted ? " (aborted)" : ""), f);
  }
  if (figures.runs.size() > 1) t += phaserow("All", figures.totals);
  return t +
         "</table>\n<p>Times in milliseconds: from the connect call to the connection being "
         "established, and from then to the end of the TLS handshake (https only).</p>\n";
}

std::string results(const TLogModel& logs) {
  std::string text = "<pre>";
  for (const TResultLine& line : logs.resultlines()) {
    const std::string escaped = htmlescape(line.text);
    switch (line.style) {
      case TLineStyle::plain:
        text += escaped;
        break;
      case TLineStyle::bold:
        text += "<b>" + escaped + "</b>";
        break;
      case TLineStyle::highlight:
        text += "<b class=\"hl\">" + escaped + "</b>";
        break;
    }
    text += "\n";
  }
  return text + "</pre>\n";
}

}  // namespace

std::string htmlescape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string htmlreport(const TReportInfo& info, const TLogModel& logs, const TChartModel& charts,
                       const TTestFigures& figures, const TRequestRecords& records,
                       const std::string& section) {
  const std::string title = charts.chart1title().empty() ? "Load test" : charts.chart1title();
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  page += "<title>" + htmlescape(title) + " - Pressbolt</title>\n<style>\n";
  page += std::string(kStyle) + "\n</style>\n</head>\n<body>\n";
  page += "<h1>" + htmlescape(title) + "</h1>\n";
  page += "<p>Test " + htmlescape(info.testid) + ", started " + htmlescape(info.started) +
          " (UTC), Pressbolt " + kVersion + ".</p>\n";
  if (info.aborted) page += "<p class=\"aborted\">Test aborted</p>\n";
  if (!info.partial.empty()) page += "<p class=\"aborted\">" + htmlescape(info.partial) + "</p>\n";
  page += "<h2>Requests</h2>\n<div class=\"chart\">" + svgrequestchart(charts) + "</div>\n";
  const bool servertimes = hasservertimes(records);
  if (servertimes) {
    page += "<h2>Server time</h2>\n<div class=\"chart\">" + svgservertimechart(charts, records) +
            "</div>\n";
  }
  if (info.settings.ramptest) {
    page += "<h2>Ramp</h2>\n<div class=\"chart\">" + svgrampchart(charts) + "</div>\n";
  }
  page += "<h2>Runs</h2>\n" + table(figures);
  if (servertimes) page += "<h2>Server time</h2>\n" + servertable(figures);
  if (figures.totals.connect.count > 0) {
    page += "<h2>Connection phases</h2>\n" + phasetable(figures);
  }
  page += section;
  page += "<h2>Results</h2>\n" + results(logs);
  return page + "</body>\n</html>\n";
}
