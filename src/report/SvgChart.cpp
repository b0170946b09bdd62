#include "report/SvgChart.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "report/HtmlReport.h"
#include "results/ChartLayout.h"
#include "results/ChartStyle.h"

namespace {

// The size the charts are laid out for, and their fonts in pixels.
constexpr double kWidth = 900, kRequestHeight = 440, kRampHeight = 380, kShareHeight = 380;
constexpr double kTitlePx = 14, kTextPx = 12;

std::string num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s == "-0" ? "0" : s;
}

std::string colour(TChartColour c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
  return text;
}

std::string line(double x1, double y1, double x2, double y2, TChartColour c) {
  return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
         num(y2) + "\" stroke=\"" + colour(c) + "\"/>\n";
}

std::string rect(const TChartRect& r, TChartColour fill, const char* cls = nullptr) {
  std::string s = "<rect x=\"" + num(r.left) + "\" y=\"" + num(r.top) + "\" width=\"" +
                  num(r.width) + "\" height=\"" + num(r.height) + "\"";
  if (cls != nullptr) s += std::string(" class=\"") + cls + "\"";
  return s + " fill=\"" + colour(fill) + "\"/>\n";
}

std::string text(const TChartText& t);

// A text of several lines: one element per line, each in its share of the box across the lines.
std::string lines(const TChartText& t) {
  std::vector<std::string> parts;
  for (size_t at = 0;;) {
    const size_t nl = t.text.find('\n', at);
    parts.push_back(t.text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
    if (nl == std::string::npos) break;
    at = nl + 1;
  }
  std::string s;
  const double n = static_cast<double>(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    TChartText one = t;
    one.text = parts[i];
    // Lines stack downwards; read upwards, that is from left to right.
    if (t.vertical) {
      one.box.width = t.box.width / n;
      one.box.left = t.box.left + one.box.width * static_cast<double>(i);
    } else {
      one.box.height = t.box.height / n;
      one.box.top = t.box.top + one.box.height * static_cast<double>(i);
    }
    s += text(one);
  }
  return s;
}

// A text of the layout: anchored at its box's left, centre or right, vertically centred, turned
// about the box's centre when it reads upwards.
std::string text(const TChartText& t) {
  if (t.text.empty()) return std::string();
  if (t.text.find('\n') != std::string::npos) return lines(t);
  const double cx = t.box.left + t.box.width / 2, cy = t.box.top + t.box.height / 2;
  double x = cx;
  const char* anchor = "middle";
  if (!t.vertical && t.align == TTextAlign::left) {
    x = t.box.left;
    anchor = "start";
  } else if (!t.vertical && t.align == TTextAlign::right) {
    x = t.box.right();
    anchor = "end";
  }
  std::string s = "<text x=\"" + num(x) + "\" y=\"" + num(cy) + "\" text-anchor=\"" + anchor +
                  "\" dominant-baseline=\"central\"";
  if (t.font == TChartFont::title) s += " font-weight=\"bold\" font-size=\"" + num(kTitlePx) + "\"";
  if (t.vertical) s += " transform=\"rotate(-90 " + num(cx) + " " + num(cy) + ")\"";
  return s + ">" + htmlescape(t.text) + "</text>\n";
}

// Axis line, ticks and labels of a vertical axis standing at x; grid lines across the plot.
std::string vertical(const TAxisLayout& a, double x, double tick, const TChartRect& plot,
                     bool grid) {
  std::string s;
  for (size_t i = 0; i < a.scale.ticks.size(); ++i) {
    const double y = a.pos(a.scale.ticks[i].value);
    if (grid && y > plot.top + 0.5 && y < plot.bottom() - 0.5) {
      s += line(plot.left, y, plot.right(), y, chartstyle::kGrid);
    }
    s += line(x, y, x + tick, y, chartstyle::kAxis) + text(a.labels[i]);
  }
  return s + line(x, plot.top, x, plot.bottom(), chartstyle::kAxis);
}

std::string horizontal(const TAxisLayout& a, const TChartRect& plot) {
  std::string s = line(plot.left, plot.bottom(), plot.right(), plot.bottom(), chartstyle::kAxis);
  for (size_t i = 0; i < a.scale.ticks.size(); ++i) {
    const double x = a.pos(a.scale.ticks[i].value);
    s += line(x, plot.bottom(), x, plot.bottom() + 3, chartstyle::kAxis) + text(a.labels[i]);
  }
  return s;
}

std::string marker(double x, double y, TChartColour c, bool triangle) {
  const double h = chartstyle::kRampMarkerHalf;
  if (triangle) {
    return "<polygon points=\"" + num(x) + "," + num(y - h) + " " + num(x + h) + "," + num(y + h) +
           " " + num(x - h) + "," + num(y + h) + "\" fill=\"" + colour(c) + "\"/>\n";
  }
  return rect(TChartRect{x - h, y - h, 2 * h + 1, 2 * h + 1}, c);
}

std::string open(const TChartRect& bounds, const char* label) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(bounds.width) + "\" height=\"" +
         num(bounds.height) + "\" viewBox=\"0 0 " + num(bounds.width) + " " + num(bounds.height) +
         "\" role=\"img\" aria-label=\"" + label + "\" font-family=\"sans-serif\" font-size=\"" +
         num(kTextPx) + "\">\n" + rect(bounds, chartstyle::kBackground);
}

const char* pointclass(TOutcome o) {
  switch (o) {
    case ocOk:
      return "ok";
    case ocTimeout:
      return "to";
    case ocAborted:
      return "ab";
    case ocClientError:
      return "cl";
    case ocError:
      break;
  }
  return "err";
}

std::string requestsvg(const TChartModel& m, const char* label, const char* ytitle,
                       const char* clipid) {
  const TChartMetrics metrics = TChartMetrics::estimated(kTitlePx, kTextPx);
  TRequestChartLayout l = layoutrequestchart(m, kWidth, kRequestHeight, metrics);
  // Laid out for the wait's axis title; a shorter one fits the same box.
  l.ytitle.text = ytitle;
  std::string s = open(l.bounds, label);
  s += text(l.title) + vertical(l.yaxis, l.plot.left, -3, l.plot, true) +
       horizontal(l.xaxis, l.plot) + text(l.ytitle) + text(l.xtitle);
  for (const auto& t : l.foot) s += text(t);
  for (const auto& e : l.legend) {
    const double h = chartstyle::kRequestPointHalf;
    s += rect(TChartRect{e.markerx - h, e.markery - h, 2 * h + 1, 2 * h + 1}, e.colour) +
         text(e.text);
  }
  const auto& points = m.requests();
  const std::vector<size_t> order = pointorder(m);
  s += "<clipPath id=\"" + std::string(clipid) + "\">" + rect(l.plot, chartstyle::kBackground) +
       "</clipPath>\n<g clip-path=\"url(#" + clipid + ")\">\n";
  for (size_t i : order) {
    s += rect(l.pointrect(points[i]), chartstyle::outcomecolour(points[i].outcome()),
              pointclass(points[i].outcome()));
  }
  return s + "</g>\n</svg>\n";
}

}  // namespace

std::string svgrequestchart(const TChartModel& m) {
  return requestsvg(m, "Request chart", kRequestYTitle, "requestplot");
}

bool hasservertimes(const TRequestRecords& records) {
  for (const TRunRecords& r : records.runs()) {
    for (double v : r.server) {
      if (v >= 0) return true;
    }
  }
  return false;
}

std::string svgservertimechart(const TChartModel& charts, const TRequestRecords& records) {
  TChartModel m;
  m.settitles("Server time: " + charts.chart1title(), "");
  m.setfoot(0,
            "From the moment the request was sent to the kernel's receive stamp of the "
            "response's last byte:");
  m.setfoot(1, "the server's own time, without our start loop and reading delays.");
  for (const TRunRecords& r : records.runs()) {
    for (size_t i = 0; i < r.size(); ++i) {
      if (r.server[i] >= 0)
        m.addrequest(r.start[i], r.server[i], r.status[i], -1, -1, r.socketcode[i]);
    }
  }
  return requestsvg(m, "Server time chart", "Server Time [ms]", "serverplot");
}

std::string svgrampchart(const TChartModel& m) {
  const TChartMetrics metrics = TChartMetrics::estimated(kTitlePx, kTextPx);
  const TRampChartLayout l = layoutrampchart(m, kWidth, kRampHeight, metrics);
  std::string s = open(l.bounds, "Ramp chart");
  s += text(l.title) + vertical(l.leftaxis, l.plot.left, -3, l.plot, true) +
       vertical(l.rightaxis, l.plot.right(), 3, l.plot, false) + horizontal(l.xaxis, l.plot) +
       text(l.xtitle) + text(l.lefttitle) + text(l.righttitle);
  for (const auto& e : l.legend) {
    s += line(e.markerx - 7, e.markery, e.markerx + 7, e.markery, e.colour) +
         marker(e.markerx, e.markery, e.colour, e.triangle) + text(e.text);
  }
  auto curve = [&](const std::vector<TRampPoint>& pts, const TAxisLayout& y, TChartColour c,
                   bool triangle) {
    std::string points, marks;
    for (const auto& pt : pts) {
      const double px = l.xaxis.pos(pt.users), py = y.pos(static_cast<double>(pt.y));
      points += (points.empty() ? "" : " ") + num(px) + "," + num(py);
      marks += marker(px, py, c, triangle);
    }
    s += "<polyline points=\"" + points + "\" fill=\"none\" stroke=\"" + colour(c) +
         "\" stroke-width=\"1.5\"/>\n" + marks;
  };
  curve(m.ramps(), l.leftaxis, chartstyle::kRampProc, false);
  curve(m.rampwaits(), l.rightaxis, chartstyle::kRampWait, true);
  for (const auto& t : l.marks) s += text(t);
  return s + "</svg>\n";
}

std::string svgsharechart(const std::string& title, const std::vector<TShareSeries>& series) {
  const TChartMetrics metrics = TChartMetrics::estimated(kTitlePx, kTextPx);
  const TShareChartLayout l = layoutsharechart(title, series, kWidth, kShareHeight, metrics);
  std::string s = open(l.bounds, "Wait time distribution") + text(l.title);
  for (const auto& e : l.legend) {
    s += "<line x1=\"" + num(e.markerx - 7) + "\" y1=\"" + num(e.markery) + "\" x2=\"" +
         num(e.markerx + 7) + "\" y2=\"" + num(e.markery) + "\" stroke=\"" + colour(e.colour) +
         "\" stroke-width=\"2\"/>\n" + text(e.text);
  }
  if (!l.plotted) return s + text(l.note) + "</svg>\n";
  s += vertical(l.yaxis, l.plot.left, -3, l.plot, true) + horizontal(l.xaxis, l.plot) +
       text(l.ytitle) + text(l.xtitle);
  for (const auto& one : series) {
    std::string points;
    for (const auto& [ms, share] : one.points) {
      points += (points.empty() ? "" : " ") + num(l.xaxis.pos(ms)) + "," + num(l.yaxis.pos(share));
    }
    s += "<polyline class=\"share\" points=\"" + points + "\" fill=\"none\" stroke=\"" +
         colour(one.colour) + "\" stroke-width=\"1.5\"/>\n";
  }
  return s + "</svg>\n";
}
