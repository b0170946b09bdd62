#include "report/SvgChart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "report/HtmlReport.h"

namespace {

constexpr double kWidth = 900, kPlotLeft = 70, kPlotRight = 20, kPlotTop = 40;
constexpr double kPlotHeight = 300;

struct TAxis {
  double lo = 0, hi = 1, step = 1;
};

// Axis from 0 to a round value above max, in steps of 1, 2 or 5 times a power of ten, at most
// about six of them.
TAxis axisto(double max) {
  TAxis a;
  if (!(max > 0)) max = 1;
  double raw = max / 6;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= raw) break;
  }
  a.step = step;
  a.hi = std::ceil(max / step) * step;
  return a;
}

std::string num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s;
}

struct TFrame {
  double left = kPlotLeft, top = kPlotTop, width = kWidth - kPlotLeft - kPlotRight;
  double height = kPlotHeight;
  TAxis x, y;
  double px(double v) const { return left + (v - x.lo) / (x.hi - x.lo) * width; }
  double py(double v) const { return top + height - (v - y.lo) / (y.hi - y.lo) * height; }
};

std::string text(double x, double y, const std::string& s, const char* cls) {
  return "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" class=\"" + cls + "\">" + htmlescape(s) +
         "</text>";
}

// Grid lines, tick labels and axis titles.
std::string axes(const TFrame& f, const std::string& xtitle, const std::string& ytitle) {
  std::string s = "<rect x=\"" + num(f.left) + "\" y=\"" + num(f.top) + "\" width=\"" +
                  num(f.width) + "\" height=\"" + num(f.height) + "\" class=\"frame\"/>\n";
  for (double v = f.y.lo; v <= f.y.hi + f.y.step / 2; v += f.y.step) {
    double y = f.py(v);
    s += "<line x1=\"" + num(f.left) + "\" y1=\"" + num(y) + "\" x2=\"" + num(f.left + f.width) +
         "\" y2=\"" + num(y) + "\" class=\"grid\"/>" + text(f.left - 6, y + 4, num(v), "yl") + "\n";
  }
  for (double v = f.x.lo; v <= f.x.hi + f.x.step / 2; v += f.x.step) {
    double x = f.px(v);
    s += text(x, f.top + f.height + 16, num(v), "xl") + "\n";
  }
  s += text(f.left + f.width / 2, f.top + f.height + 34, xtitle, "at") + "\n";
  s += "<text x=\"16\" y=\"" + num(f.top + f.height / 2) +
       "\" class=\"at\" transform=\"rotate(-90 16 " + num(f.top + f.height / 2) + ")\">" +
       htmlescape(ytitle) + "</text>\n";
  return s;
}

std::string open(double height, const char* label) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(kWidth) + "\" height=\"" +
         num(height) + "\" viewBox=\"0 0 " + num(kWidth) + " " + num(height) +
         "\" role=\"img\" aria-label=\"" + label +
         "\">\n<style>.frame{fill:#fff;stroke:#888}.grid{stroke:#ddd}"
         ".yl{text-anchor:end;font:11px sans-serif}.xl{text-anchor:middle;font:11px sans-serif}"
         ".at{text-anchor:middle;font:12px sans-serif}.title{text-anchor:middle;font:bold 14px "
         "sans-serif}.foot{font:12px sans-serif}.ok{fill:#00a000}.err{fill:#e00000}"
         ".to{fill:#000}.lbl{font:10px sans-serif;fill:#e00000}"
         ".c1{fill:none;stroke:#0040c0;stroke-width:2}.c2{fill:none;stroke:#c06000;"
         "stroke-width:2}.m1{fill:#0040c0}.m2{fill:#c06000}</style>\n";
}

const char* pointclass(int status) {
  if (status == 200) return "ok";
  if (status == 0) return "to";
  return "err";
}

}  // namespace

std::string svgrequestchart(const TChartModel& charts) {
  const auto& points = charts.requests();
  double maxx = 0, maxy = 0;
  for (const TChartPoint& p : points) {
    maxx = std::max(maxx, static_cast<double>(p.x));
    maxy = std::max(maxy, static_cast<double>(p.y));
  }
  TFrame f;
  f.x = axisto(maxx);
  f.y = axisto(maxy);
  const double height = kPlotTop + kPlotHeight + 50 + 4 * 18;
  std::string s = open(height, "Request chart");
  s += text(kWidth / 2, 22, charts.chart1title(), "title") + "\n";
  s += axes(f, "Start of the request (ms after the test start)", "User wait time (ms)");
  // Points in start order, so a later outcome is drawn over an earlier one as in the window.
  std::vector<const TChartPoint*> order;
  order.reserve(points.size());
  for (const TChartPoint& p : points) order.push_back(&p);
  std::stable_sort(order.begin(), order.end(),
                   [](const TChartPoint* a, const TChartPoint* b) { return a->x < b->x; });
  s += "<g class=\"points\">\n";
  for (const TChartPoint* p : order) {
    s += "<circle cx=\"" + num(f.px(static_cast<double>(p->x))) + "\" cy=\"" +
         num(f.py(static_cast<double>(p->y))) + "\" r=\"2.5\" class=\"" +
         pointclass(p->statuscode) + "\"/>\n";
  }
  s += "</g>\n";
  double y = kPlotTop + kPlotHeight + 56;
  for (const std::string& line : charts.foot()) {
    s += text(kPlotLeft, y, line, "foot") + "\n";
    y += 18;
  }
  return s + "</svg>\n";
}

std::string svgrampchart(const TChartModel& charts) {
  const auto& ramps = charts.ramps();
  const auto& waits = charts.rampwaits();
  double maxx = 0, maxy = 0;
  for (const auto* series : {&ramps, &waits}) {
    for (const TRampPoint& p : *series) {
      maxx = std::max(maxx, static_cast<double>(p.users));
      maxy = std::max(maxy, static_cast<double>(p.y));
    }
  }
  TFrame f;
  f.x = axisto(maxx);
  f.y = axisto(maxy);
  const double height = kPlotTop + kPlotHeight + 80;
  std::string s = open(height, "Ramp chart");
  s += text(kWidth / 2, 22, charts.chart2title(), "title") + "\n";
  s += axes(f, "Simultaneous users", "Time (ms)");
  int n = 0;
  for (const auto* series : {&ramps, &waits}) {
    ++n;
    std::string line;
    std::string marks;
    for (const TRampPoint& p : *series) {
      double x = f.px(p.users), y = f.py(static_cast<double>(p.y));
      line += (line.empty() ? "" : " ") + num(x) + "," + num(y);
      marks += "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"3.5\" class=\"m" +
               std::to_string(n) + "\"/>";
      if (!p.label.empty() && p.label != "ok") marks += text(x + 5, y - 6, p.label, "lbl");
      marks += "\n";
    }
    s += "<polyline points=\"" + line + "\" class=\"c" + std::to_string(n) + "\"/>\n" + marks;
  }
  double ly = kPlotTop + kPlotHeight + 60;
  s += "<rect x=\"" + num(kPlotLeft) + "\" y=\"" + num(ly - 9) +
       "\" width=\"14\" height=\"4\" class=\"m1\"/>" +
       text(kPlotLeft + 20, ly, "Average request processing time", "foot") + "<rect x=\"" +
       num(kPlotLeft + 300) + "\" y=\"" + num(ly - 9) +
       "\" width=\"14\" height=\"4\" class=\"m2\"/>" +
       text(kPlotLeft + 320, ly, "Average user wait time", "foot") + "\n";
  return s + "</svg>\n";
}
