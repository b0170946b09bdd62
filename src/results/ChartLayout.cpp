#include "results/ChartLayout.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kEllipsis = "\xe2\x80\xa6";
constexpr double kMargin = 4;  // around the whole chart
constexpr double kGap = 3;     // between stacked texts
constexpr double kTick = 3;    // length of a tick mark
// The largest value stays this share of the axis inside it, so no point sits on the plot's edge.
constexpr double kHeadroom = 1.02;
// A plot at least this high may give up room to wrapped foot lines.
constexpr double kRoomyPlot = 120;

bool continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offsets at which a UTF-8 character starts, plus the end.
std::vector<size_t> charstarts(const std::string& s) {
  std::vector<size_t> at;
  for (size_t i = 0; i < s.size(); ++i)
    if (!continuation(s[i])) at.push_back(i);
  at.push_back(s.size());
  return at;
}

TChartText text(std::string s, TChartRect box, TTextAlign align = TTextAlign::centre,
                TChartFont font = TChartFont::text) {
  TChartText t;
  t.text = std::move(s);
  t.box = box;
  t.align = align;
  t.font = font;
  return t;
}

std::string trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Tick spacing on a vertical axis: labels at least one and a half lines apart.
bool verticalfits(const TAxisScale& s, double length, double lineheight) {
  return length * s.step / (s.max - s.min) >= 1.5 * lineheight;
}

// Tick spacing on a horizontal axis: neighbouring labels keep two digits of room between them.
bool horizontalfits(const TAxisScale& s, double length, const TChartMetrics& fm) {
  const double px = length * s.step / (s.max - s.min);
  const double room = 2 * fm.textwidth("0");
  for (size_t i = 1; i < s.ticks.size(); ++i) {
    const double need =
        (fm.textwidth(s.ticks[i - 1].label) + fm.textwidth(s.ticks[i].label)) / 2 + room;
    const double apart = px * (s.ticks[i].value - s.ticks[i - 1].value) / s.step;
    if (apart < need) return false;
  }
  return true;
}

double widestlabel(const TAxisScale& s, const TChartMetrics& fm) {
  double w = 0;
  for (const auto& t : s.ticks) w = std::max(w, fm.textwidth(t.label));
  return w;
}

TAxisLayout verticalaxis(double min, double datamax, double from, double to, double labelright,
                         TTextAlign align, const TChartMetrics& fm, const TAxisOptions& o = {}) {
  TAxisLayout a;
  const double length = std::max(1.0, from - to);
  a.scale = autoscale(min, datamax > min ? min + (datamax - min) * kHeadroom : datamax, o,
                      [&](const TAxisScale& s) { return verticalfits(s, length, fm.textheight); });
  a.from = from;
  a.to = to;
  const double w = widestlabel(a.scale, fm);
  for (const auto& t : a.scale.ticks) {
    const double y = a.pos(t.value);
    const double left = align == TTextAlign::right ? labelright - w : labelright;
    a.labels.push_back(text(t.label, {left, y - fm.textheight / 2, w, fm.textheight}, align));
  }
  return a;
}

TAxisLayout horizontalaxis(double datamax, double left, double right, double top,
                           const TChartMetrics& fm, const TAxisOptions& o = {}) {
  TAxisLayout a;
  const double length = std::max(1.0, right - left);
  a.scale = autoscale(0, datamax * kHeadroom, o,
                      [&](const TAxisScale& s) { return horizontalfits(s, length, fm); });
  a.from = left;
  a.to = left + length;
  for (const auto& t : a.scale.ticks) {
    const double w = fm.textwidth(t.label);
    a.labels.push_back(text(t.label, {a.pos(t.value) - w / 2, top, w, fm.textheight}));
  }
  return a;
}

// A horizontal axis whose last label may stick out of the plot by half its width: the plot's
// right edge is chosen so that it stays inside the chart.
TAxisLayout fittedxaxis(double datamax, double left, double& right, double limit, double top,
                        const TChartMetrics& fm, const TAxisOptions& o = {}) {
  TAxisLayout a = horizontalaxis(datamax, left, right, top, fm, o);
  const double half = fm.textwidth(a.scale.ticks.back().label) / 2;
  if (right + half > limit) {
    right = std::max(left + 1, limit - half);
    a = horizontalaxis(datamax, left, right, top, fm, o);
  }
  return a;
}

// The axis title under a horizontal axis: centred under the plot, or under the whole chart when
// the plot is narrower than the title.
TChartText xtitlebelow(const std::string& title, const TChartRect& plot, double top,
                       const TChartRect& bounds, const TChartMetrics& fm) {
  TChartRect box{plot.left, top, plot.width, fm.textheight};
  if (fm.textwidth(title) > plot.width)
    box = {bounds.left + kMargin, top, bounds.width - 2 * kMargin, fm.textheight};
  return text(elidetext(title, box.width, fm.textwidth), box);
}

}  // namespace

TChartMetrics TChartMetrics::estimated(double titlepx, double textpx) {
  TChartMetrics m;
  auto count = [](const std::string& s) { return static_cast<double>(charstarts(s).size() - 1); };
  m.titlewidth = [=](const std::string& s) { return count(s) * titlepx * 0.62; };
  m.textwidth = [=](const std::string& s) { return count(s) * textpx * 0.58; };
  m.titleheight = std::ceil(titlepx * 1.25);
  m.textheight = std::ceil(textpx * 1.25);
  return m;
}

std::string elidetext(const std::string& text, double width,
                      const std::function<double(const std::string&)>& measure) {
  if (measure(text) <= width) return text;
  const std::vector<size_t> at = charstarts(text);
  // The longest prefix that fits with the ellipsis: widths grow with the prefix.
  size_t lo = 0, hi = at.size() - 1;
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (measure(text.substr(0, at[mid]) + kEllipsis) <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return trimmed(text.substr(0, at[lo])) + kEllipsis;
}

std::vector<std::string> wraptext(const std::string& text, double width, int maxlines,
                                  const std::function<double(const std::string&)>& measure) {
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    if (!line.empty()) lines.push_back(line);
    line.clear();
  };
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    i = end;
    const std::string joined = line.empty() ? word : line + " " + word;
    if (measure(joined) <= width) {
      line = joined;
      continue;
    }
    flush();
    // A word wider than the whole line is broken where it must be.
    while (measure(word) > width) {
      const std::vector<size_t> at = charstarts(word);
      size_t n = 1;
      while (n + 1 < at.size() && measure(word.substr(0, at[n + 1])) <= width) ++n;
      lines.push_back(word.substr(0, at[n]));
      word.erase(0, at[n]);
    }
    line = word;
  }
  flush();
  if (maxlines > 0 && static_cast<int>(lines.size()) > maxlines) {
    std::string rest;
    for (size_t k = static_cast<size_t>(maxlines) - 1; k < lines.size(); ++k)
      rest += (rest.empty() ? "" : " ") + lines[k];
    lines.resize(static_cast<size_t>(maxlines) - 1);
    lines.push_back(elidetext(rest, width, measure));
  }
  return lines;
}

TChartRect TRequestChartLayout::pointrect(const TChartPoint& p) const {
  const double x = std::nearbyint(xaxis.pos(static_cast<double>(p.x)));
  const double y = std::nearbyint(yaxis.pos(static_cast<double>(p.y)));
  const double h = chartstyle::kRequestPointHalf;
  return {x - h, y - h, 2 * h + 1, 2 * h + 1};
}

bool TRequestChartLayout::sameplot(const TRequestChartLayout& o) const {
  auto same = [](const TAxisLayout& a, const TAxisLayout& b) {
    return a.from == b.from && a.to == b.to && a.scale.min == b.scale.min &&
           a.scale.max == b.scale.max;
  };
  return plot.left == o.plot.left && plot.top == o.plot.top && plot.width == o.plot.width &&
         plot.height == o.plot.height && same(xaxis, o.xaxis) && same(yaxis, o.yaxis);
}

TRequestChartLayout layoutrequestchart(const TChartModel& m, double width, double height,
                                       const TChartMetrics& fm) {
  TRequestChartLayout l;
  l.bounds = {0, 0, width, height};
  const double inner = std::max(1.0, width - 2 * kMargin);
  const double th = fm.textheight;
  double y = kMargin;
  l.title = text(elidetext(m.chart1title(), inner, fm.titlewidth),
                 {kMargin, y, inner, fm.titleheight}, TTextAlign::centre, TChartFont::title);
  y += fm.titleheight + kGap;

  const double xtitletop0 = height - kMargin - th - kGap;  // before the foot is known
  // The foot lines wrap while the plot keeps a good height; below that each keeps one line.
  std::vector<std::string> foot;
  for (int wrap = 1; wrap >= 0; --wrap) {
    foot.clear();
    for (size_t i = 0; i < m.foot().size(); ++i) {
      const int most = wrap ? (i == 0 ? kFootLinesFirst : kFootLinesOther) : 1;
      for (auto& s : wraptext(trimmed(m.foot()[i]), inner, most, fm.textwidth))
        foot.push_back(std::move(s));
    }
    const double plot = xtitletop0 - th * static_cast<double>(foot.size()) - 2 * th - kTick - y;
    if (plot >= kRoomyPlot) break;
  }
  double foottop = height - kMargin - th * static_cast<double>(foot.size());
  for (size_t i = 0; i < foot.size(); ++i)
    l.foot.push_back(text(foot[i], {kMargin, foottop + th * static_cast<double>(i), inner, th}));

  const double xtitletop = foottop - kGap - th;
  const double xlabeltop = xtitletop - 1 - th;
  const double plotbottom = xlabeltop - kTick;
  double plottop = y + th / 2;
  // The y title runs along the axis when it fits there, else it stands above the axis: on the
  // title's line when both fit there, or on a line of its own.
  l.ytitle.text = kRequestYTitle;
  l.ytitle.vertical = fm.textwidth(kRequestYTitle) <= plotbottom - plottop;
  if (!l.ytitle.vertical) {
    const double yw = fm.textwidth(kRequestYTitle);
    const double tw = fm.titlewidth(l.title.text);
    const double besideleft = kMargin + yw + 2 * kGap;
    // A low plot cannot spare a line: the title then gives way to the axis title.
    const bool low = plotbottom - (y + th + kGap + th / 2) < kRoomyPlot;
    if (besideleft + tw <= width - kMargin || (low && besideleft + 40 <= width - kMargin)) {
      l.ytitle = text(kRequestYTitle, {kMargin, kMargin, yw, fm.titleheight}, TTextAlign::left);
      // Centred on the chart unless that would touch the y title.
      const double room = width - kMargin - besideleft;
      l.title.text = elidetext(m.chart1title(), room, fm.titlewidth);
      const double w = fm.titlewidth(l.title.text);
      const double left = std::max(besideleft, (width - w) / 2);
      l.title.box = {left, kMargin, std::min(w, width - kMargin - left), fm.titleheight};
    } else {
      l.ytitle = text(elidetext(kRequestYTitle, inner, fm.textwidth), {kMargin, y, inner, th},
                      TTextAlign::left);
      plottop = y + th + kGap + th / 2;
    }
  }
  plottop = std::min(plottop, plotbottom - 1);

  const double ylabelleft = kMargin + (l.ytitle.vertical ? th + kGap : 0);
  l.yaxis = verticalaxis(0, static_cast<double>(m.requestmaxy()), plotbottom, plottop, 0,
                         TTextAlign::right, fm);
  const double ylabelw = widestlabel(l.yaxis.scale, fm);
  const double plotleft = ylabelleft + ylabelw + kTick + 1;
  for (auto& lab : l.yaxis.labels) lab.box.left = ylabelleft, lab.box.width = ylabelw;
  if (l.ytitle.vertical) l.ytitle.box = {kMargin, plottop, th, plotbottom - plottop};

  double plotright = width - kMargin;
  l.xaxis = fittedxaxis(static_cast<double>(m.requestmaxx()), plotleft, plotright, width - kMargin,
                        xlabeltop, fm);
  l.plot = {plotleft, plottop, std::max(1.0, plotright - plotleft), plotbottom - plottop};
  l.xtitle = xtitlebelow(kRequestXTitle, l.plot, xtitletop, l.bounds, fm);
  return l;
}

TRampChartLayout layoutrampchart(const TChartModel& m, double width, double height,
                                 const TChartMetrics& fm) {
  TRampChartLayout l;
  l.bounds = {0, 0, width, height};
  const double inner = std::max(1.0, width - 2 * kMargin);
  const double th = fm.textheight;
  const double marker = 2 * chartstyle::kRampMarkerHalf + 1;
  double y = kMargin;
  l.title = text(elidetext(m.chart2title(), inner, fm.titlewidth),
                 {kMargin, y, inner, fm.titleheight}, TTextAlign::centre, TChartFont::title);
  y += fm.titleheight + kGap;

  double maxusers = 0, maxproc = 0, maxwait = 1;
  for (const auto& p : m.ramps()) {
    maxusers = std::max(maxusers, static_cast<double>(p.users));
    maxproc = std::max(maxproc, static_cast<double>(p.y));
  }
  for (const auto& p : m.rampwaits()) {
    maxusers = std::max(maxusers, static_cast<double>(p.users));
    maxwait = std::max(maxwait, static_cast<double>(p.y));
  }

  const double xtitletop = height - kMargin - th;
  const double xlabeltop = xtitletop - 1 - th;
  const double plotbottom = xlabeltop - kTick;
  // Legend, then a line for the marks above the highest points.
  const double linehigh = std::max(th, marker);
  const double legendtop = y;
  double plottop = legendtop + linehigh + kGap + th;
  const double procw = fm.textwidth(kRampProcTitle), waitw = fm.textwidth(kRampWaitTitle);
  const bool vertical = std::max(procw, waitw) <= plotbottom - plottop;

  auto entry = [&](const char* title, double markerx, TChartColour c, bool triangle) {
    TLegendEntry e;
    e.markerx = markerx;
    e.markery = legendtop + linehigh / 2;
    e.colour = c;
    e.triangle = triangle;
    e.text.text = title;
    return e;
  };
  const double legendgap = 16, textgap = 4;
  if (vertical) {
    // A centred legend line, and the axis titles along their axes.
    const double total = 2 * (marker + textgap) + procw + waitw + legendgap;
    double x = kMargin + std::max(0.0, (inner - total) / 2);
    TLegendEntry a = entry(kRampProcTitle, x + marker / 2, chartstyle::kRampProc, false);
    a.text =
        text(kRampProcTitle, {x + marker + textgap, legendtop, procw, linehigh}, TTextAlign::left);
    x += marker + textgap + procw + legendgap;
    TLegendEntry b = entry(kRampWaitTitle, x + marker / 2, chartstyle::kRampWait, true);
    b.text =
        text(kRampWaitTitle, {x + marker + textgap, legendtop, waitw, linehigh}, TTextAlign::left);
    l.legend = {a, b};
    l.lefttitle = text(kRampProcTitle, {kMargin, plottop, th, plotbottom - plottop});
    l.righttitle = text(kRampWaitTitle, {width - kMargin - th, plottop, th, plotbottom - plottop});
    l.lefttitle.vertical = l.righttitle.vertical = true;
  } else {
    // Too low for the titles along the axes: each title stands above its own axis with the
    // series' marker before it, which is the legend as well.
    const double half = (inner - legendgap) / 2 - marker - textgap;
    const std::string left = elidetext(kRampProcTitle, half, fm.textwidth);
    const std::string right = elidetext(kRampWaitTitle, half, fm.textwidth);
    const double rw = fm.textwidth(right);
    l.legend = {
        entry("", kMargin + marker / 2, chartstyle::kRampProc, false),
        entry("", width - kMargin - rw - textgap - marker / 2, chartstyle::kRampWait, true)};
    l.legend[0].text.box = l.legend[1].text.box = {0, legendtop, 0, linehigh};
    l.lefttitle = text(left, {kMargin + marker + textgap, legendtop, fm.textwidth(left), linehigh},
                       TTextAlign::left);
    l.righttitle = text(right, {width - kMargin - rw, legendtop, rw, linehigh}, TTextAlign::right);
  }
  plottop = std::min(plottop, plotbottom - 1);

  // Both value axes begin 5 percent of the plot's height above its bottom.
  const double axisbottom = plotbottom - 0.05 * (plotbottom - plottop);
  const double labelleft = kMargin + (vertical ? th + kGap : 0);
  l.leftaxis = verticalaxis(0, maxproc, axisbottom, plottop, 0, TTextAlign::right, fm);
  l.rightaxis = verticalaxis(1, maxwait, axisbottom, plottop, 0, TTextAlign::left, fm);
  const double leftw = widestlabel(l.leftaxis.scale, fm);
  const double rightw = widestlabel(l.rightaxis.scale, fm);
  const double plotleft = labelleft + leftw + kTick + 1;
  const double rightlimit = width - kMargin - (vertical ? th + kGap : 0);
  double plotright = rightlimit - rightw - kTick - 1;
  for (auto& lab : l.leftaxis.labels) lab.box.left = labelleft, lab.box.width = leftw;
  for (auto& lab : l.rightaxis.labels) lab.box.left = plotright + kTick + 1, lab.box.width = rightw;

  TAxisOptions users;
  users.minstep = 1;
  users.thousands = true;
  l.xaxis = fittedxaxis(maxusers, plotleft, plotright, rightlimit, xlabeltop, fm, users);
  l.plot = {plotleft, plottop, std::max(1.0, plotright - plotleft), plotbottom - plottop};
  for (auto& lab : l.rightaxis.labels) lab.box.left = l.plot.right() + kTick + 1;
  l.xtitle = xtitlebelow(kRampXTitle, l.plot, xtitletop, l.bounds, fm);

  for (const auto& p : m.ramps()) {
    if (p.label.empty()) continue;
    const double w = fm.textwidth(p.label);
    const double px = l.xaxis.pos(p.users), py = l.leftaxis.pos(static_cast<double>(p.y));
    l.marks.push_back(
        text(p.label, {px - w / 2, py - chartstyle::kRampMarkerHalf - 1 - th, w, th}));
  }
  return l;
}
