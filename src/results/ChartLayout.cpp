#include "results/ChartLayout.h"

#include "common/Text.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMargin = 4;  // around the whole chart
constexpr double kGap = 3;     // between stacked texts
constexpr double kTick = 3;    // length of a tick mark
// The largest value stays this share of the axis inside it, so no point sits on the plot's edge.
constexpr double kHeadroom = 1.02;
// A plot at least this high may give up room to wrapped foot lines.
constexpr double kRoomyPlot = 120;

TChartText text(std::string s, TChartRect box, TTextAlign align = TTextAlign::centre,
                TChartFont font = TChartFont::text) {
  TChartText t;
  t.text = std::move(s);
  t.box = box;
  t.align = align;
  t.font = font;
  return t;
}

// The lowest plot that shows two labelled ticks one and a half lines apart with room above, and
// the narrowest.
constexpr double kMinPlotLines = 3;
// The ramp chart holds a handful of points with their two axes' ticks: a lower plot still reads.
constexpr double kMinRampPlotLines = 2;
constexpr double kMinPlotWidth = 60;

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

// Lines joined by '\n', as a text holding several lines.
std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& line : lines) s += (s.empty() ? "" : "\n") + line;
  return s;
}

// Every word of the foot lines, wrapped to width.
std::vector<std::string> footlines(const TChartModel& m, double width, const TChartMetrics& fm) {
  std::vector<std::string> lines;
  for (const auto& line : m.foot())
    for (auto& s : wraptext(std::string(trim(line, " ")), width, 0, fm.textwidth))
      lines.push_back(std::move(s));
  return lines;
}

// A chart too small to plot: the note under the title, then as many foot lines as fit, standing
// at the bottom; when they do not all fit, the last one shown ends in "…".
void placesmall(TChartText& note, std::vector<TChartText>* foot, bool* footcut,
                std::vector<std::string> lines, double top, const TChartRect& bounds,
                const TChartMetrics& fm) {
  const double inner = std::max(1.0, bounds.width - 2 * kMargin);
  const double th = fm.textheight;
  note = text(elidetext(kTooSmallNote, inner, fm.textwidth), {kMargin, top, inner, th});
  if (foot == nullptr) return;
  const double room = bounds.height - kMargin - (top + th + kGap);
  const size_t fit = room > 0 ? static_cast<size_t>(std::floor(room / th)) : 0;
  *footcut = false;
  if (lines.size() > fit) {
    std::string rest;
    for (size_t k = fit > 0 ? fit - 1 : 0; k < lines.size(); ++k)
      rest += (rest.empty() ? "" : " ") + lines[k];
    lines.resize(fit);
    if (fit > 0) lines.back() = elidetext(rest, inner, fm.textwidth);
    *footcut = fit == 0 || lines.back() != rest;
  }
  const double foottop = bounds.height - kMargin - th * static_cast<double>(lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    foot->push_back(text(lines[i], {kMargin, foottop + th * static_cast<double>(i), inner, th}));
}

// The request chart's legend on the x title's line, right-aligned under the plot: each outcome
// colour present with its count. The title moves to the plot's left edge to make room; without
// room there is no legend (the foot lines carry the counts too).
std::vector<TLegendEntry> requestlegend(const TChartModel& m, TChartText& xtitle,
                                        const TChartRect& plot, const TChartMetrics& fm) {
  const double marker = 2 * chartstyle::kRequestPointHalf + 1, textgap = 3, entrygap = 10;
  std::vector<std::pair<std::string, TChartColour>> items;
  for (TOutcome o : {ocOk, ocError, ocTimeout, ocAborted, ocClientError}) {
    if (const size_t n = m.outcomecount(o); n > 0)
      items.push_back(
          {std::string(outcomename(o)) + " " + std::to_string(n), chartstyle::outcomecolour(o)});
  }
  double total = 0;
  for (const auto& [label, colour] : items)
    total += marker + textgap + fm.textwidth(label) + (total > 0 ? entrygap : 0);
  if (items.empty() || xtitle.text != kRequestXTitle) return {};
  const double titlew = fm.textwidth(xtitle.text);
  const double gap = 2 * entrygap;
  if ((plot.width + titlew) / 2 + gap + total > plot.width) {
    if (titlew + gap + total > plot.width) return {};
    xtitle.box.left = plot.left;
    xtitle.box.width = titlew;
    xtitle.align = TTextAlign::left;
  }
  std::vector<TLegendEntry> legend;
  double x = plot.right() - total;
  for (const auto& [label, colour] : items) {
    TLegendEntry e;
    e.markerx = x + marker / 2;
    e.markery = xtitle.box.top + xtitle.box.height / 2;
    e.colour = colour;
    const double w = fm.textwidth(label);
    e.text =
        text(label, {x + marker + textgap, xtitle.box.top, w, xtitle.box.height}, TTextAlign::left);
    legend.push_back(e);
    x += marker + textgap + w + entrygap;
  }
  return legend;
}

// The chart's title, one line across the top, elided to the width.
TChartText titleline(const std::string& title, double width, const TChartMetrics& fm) {
  const double inner = std::max(1.0, width - 2 * kMargin);
  return text(elidetext(title, inner, fm.titlewidth), {kMargin, kMargin, inner, fm.titleheight},
              TTextAlign::centre, TChartFont::title);
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
  return plotted == o.plotted && plot.left == o.plot.left && plot.top == o.plot.top &&
         plot.width == o.plot.width && plot.height == o.plot.height && same(xaxis, o.xaxis) &&
         same(yaxis, o.yaxis);
}

TRequestChartLayout layoutrequestchart(const TChartModel& m, double width, double height,
                                       const TChartMetrics& fm) {
  TRequestChartLayout l;
  l.bounds = {0, 0, width, height};
  const double inner = std::max(1.0, width - 2 * kMargin);
  const double th = fm.textheight;
  double y = kMargin;
  l.title = titleline(m.chart1title(), width, fm);
  y += fm.titleheight + kGap;

  // Every word of the foot lines stays readable: they wrap, and the plot takes what is left.
  const std::vector<std::string> foot = footlines(m, inner, fm);
  auto small = [&] {
    TRequestChartLayout s;
    s.bounds = l.bounds;
    s.title = titleline(m.chart1title(), width, fm);  // l's may have moved aside by now
    s.plotted = false;
    s.plot = {};
    placesmall(s.note, &s.foot, &s.footcut, foot, y, s.bounds, fm);
    return s;
  };
  double foottop = height - kMargin - th * static_cast<double>(foot.size());
  for (size_t i = 0; i < foot.size(); ++i)
    l.foot.push_back(text(foot[i], {kMargin, foottop + th * static_cast<double>(i), inner, th}));

  const double xtitletop = foottop - kGap - th;
  const double xlabeltop = xtitletop - 1 - th;
  const double plotbottom = xlabeltop - kTick;
  double plottop = y + th / 2;
  if (plotbottom - plottop < kMinPlotLines * th) return small();
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
      const double w = std::min(fm.titlewidth(l.title.text), room);
      const double left = std::max(besideleft, (width - w) / 2);
      l.title.box = {left, kMargin, std::min(w, width - kMargin - left), fm.titleheight};
    } else {
      l.ytitle = text(elidetext(kRequestYTitle, inner, fm.textwidth), {kMargin, y, inner, th},
                      TTextAlign::left);
      plottop = y + th + kGap + th / 2;
    }
  }
  if (plotbottom - plottop < kMinPlotLines * th) return small();

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
  if (l.plot.width < kMinPlotWidth || !verticalfits(l.yaxis.scale, l.plot.height, th) ||
      !horizontalfits(l.xaxis.scale, l.plot.width, fm))
    return small();
  l.xtitle = xtitlebelow(kRequestXTitle, l.plot, xtitletop, l.bounds, fm);
  l.legend = requestlegend(m, l.xtitle, l.plot, fm);
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
  l.title = titleline(m.chart2title(), width, fm);
  y += fm.titleheight + kGap;
  auto small = [&] {
    TRampChartLayout s;
    s.bounds = l.bounds;
    s.title = l.title;
    s.plotted = false;
    s.plot = {};
    placesmall(s.note, nullptr, nullptr, {}, y, s.bounds, fm);
    return s;
  };

  double maxusers = 0, maxproc = 0, maxwait = 1, minwait = 1;
  for (const auto& p : m.ramps()) {
    maxusers = std::max(maxusers, static_cast<double>(p.users));
    maxproc = std::max(maxproc, static_cast<double>(p.y));
  }
  for (const auto& p : m.rampwaits()) {
    maxusers = std::max(maxusers, static_cast<double>(p.users));
    maxwait = std::max(maxwait, static_cast<double>(p.y));
    minwait = std::min(minwait, static_cast<double>(p.y));
  }
  // The wait axis begins at 1 ms, or at 0 when a wait was shorter: no point below the plot.
  const double waitfrom = minwait < 1 ? 0 : 1;

  const double xtitletop = height - kMargin - th;
  const double xlabeltop = xtitletop - 1 - th;
  const double plotbottom = xlabeltop - kTick;
  // Legend, then a line for the marks above the highest points.
  const double linehigh = std::max(th, marker);
  const double legendtop = y;
  const double plottop = legendtop + linehigh + kGap + th;
  const double plotheight = plotbottom - plottop;
  if (plotheight < kMinRampPlotLines * th) return small();

  // The value axes' titles run along them, wrapped into as many lines as their length needs, up
  // to three. A plot too low for that (the window's smallest size, sharing its height with the
  // request chart) has them in the legend line instead, whole: the first series' over the left
  // axis, the second's over the right one.
  std::vector<std::string> left = wraptext(kRampProcTitle, plotheight, 0, fm.textwidth);
  std::vector<std::string> right = wraptext(kRampWaitTitle, plotheight, 0, fm.textwidth);
  const bool along = left.size() <= 3 && right.size() <= 3 && plotheight >= kMinPlotLines * th;
  if (!along) left.clear(), right.clear();

  // The legend line: each series' marker and title, centred; a title shortened only when both do
  // not fit, since the axis titles carry them whole. Without axis titles they stand whole at
  // the two ends, or nothing is plotted.
  const double legendgap = 16, textgap = 4;
  std::string proc = kRampProcTitle, wait = kRampWaitTitle;
  const bool fits =
      2 * (marker + textgap) + fm.textwidth(proc) + fm.textwidth(wait) + legendgap <= inner;
  if (!fits && !along) return small();
  if (!fits) {
    const double half = (inner - legendgap) / 2 - marker - textgap;
    proc = elidetext(proc, half, fm.textwidth);
    wait = elidetext(wait, half, fm.textwidth);
  }
  const double procw = fm.textwidth(proc), waitw = fm.textwidth(wait);
  const double total = 2 * (marker + textgap) + procw + waitw + legendgap;
  double x = kMargin + (along ? std::max(0.0, (inner - total) / 2) : 0);
  auto entry = [&](const std::string& title, double w, TChartColour c, bool triangle) {
    TLegendEntry e;
    e.markerx = x + marker / 2;
    e.markery = legendtop + linehigh / 2;
    e.colour = c;
    e.triangle = triangle;
    e.text = text(title, {x + marker + textgap, legendtop, w, linehigh}, TTextAlign::left);
    x += marker + textgap + w + legendgap;
    return e;
  };
  l.legend.push_back(entry(proc, procw, chartstyle::kRampProc, false));
  if (!along) x = width - kMargin - (marker + textgap + waitw);
  l.legend.push_back(entry(wait, waitw, chartstyle::kRampWait, true));

  const double leftw = th * static_cast<double>(left.size());
  const double rightw = th * static_cast<double>(right.size());
  l.lefttitle = text(joined(left), {kMargin, plottop, leftw, plotheight});
  l.righttitle = text(joined(right), {width - kMargin - rightw, plottop, rightw, plotheight});
  l.lefttitle.vertical = l.righttitle.vertical = true;

  // Both value axes begin 5 percent of the plot's height above its bottom.
  const double axisbottom = plotbottom - 0.05 * plotheight;
  const double labelleft = kMargin + leftw + kGap;
  l.leftaxis = verticalaxis(0, maxproc, axisbottom, plottop, 0, TTextAlign::right, fm);
  l.rightaxis = verticalaxis(waitfrom, maxwait, axisbottom, plottop, 0, TTextAlign::left, fm);
  const double leftlabelw = widestlabel(l.leftaxis.scale, fm);
  const double rightlabelw = widestlabel(l.rightaxis.scale, fm);
  const double plotleft = labelleft + leftlabelw + kTick + 1;
  const double rightlimit = width - kMargin - rightw - kGap;
  double plotright = rightlimit - rightlabelw - kTick - 1;
  for (auto& lab : l.leftaxis.labels) lab.box.left = labelleft, lab.box.width = leftlabelw;
  for (auto& lab : l.rightaxis.labels) lab.box.width = rightlabelw;

  TAxisOptions users;
  users.minstep = 1;
  users.thousands = true;
  l.xaxis = fittedxaxis(maxusers, plotleft, plotright, rightlimit, xlabeltop, fm, users);
  l.plot = {plotleft, plottop, std::max(1.0, plotright - plotleft), plotheight};
  const double axislength = axisbottom - plottop;
  if (l.plot.width < kMinPlotWidth || !verticalfits(l.leftaxis.scale, axislength, th) ||
      !verticalfits(l.rightaxis.scale, axislength, th) ||
      !horizontalfits(l.xaxis.scale, l.plot.width, fm))
    return small();
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

TShareChartLayout layoutsharechart(const std::string& title,
                                   const std::vector<TShareSeries>& series, double width,
                                   double height, const TChartMetrics& fm) {
  TShareChartLayout l;
  l.bounds = {0, 0, width, height};
  const double inner = std::max(1.0, width - 2 * kMargin);
  const double th = fm.textheight;
  double y = kMargin;
  l.title = titleline(title, width, fm);
  y += fm.titleheight + kGap;
  auto small = [&] {
    TShareChartLayout s;
    s.bounds = l.bounds;
    s.title = l.title;
    s.plotted = false;
    placesmall(s.note, nullptr, nullptr, {}, y, s.bounds, fm);
    return s;
  };

  // The legend line: a short line of each series' colour and its label, centred, each label
  // shortened to an equal share when they do not all fit.
  const double marker = 14, textgap = 4, legendgap = 16;
  double total = 0;
  for (const auto& s : series)
    total += marker + textgap + fm.textwidth(s.label) + (total > 0 ? legendgap : 0);
  const double share = series.empty()
                           ? inner
                           : (inner - legendgap * static_cast<double>(series.size() - 1)) /
                                     static_cast<double>(series.size()) -
                                 marker - textgap;
  if (total > inner) total = inner;
  double x = kMargin + std::max(0.0, (inner - total) / 2);
  for (const auto& s : series) {
    TLegendEntry e;
    const std::string label = elidetext(s.label, std::max(1.0, share), fm.textwidth);
    const double w = std::min(fm.textwidth(label), std::max(1.0, share));
    e.markerx = x + marker / 2;
    e.markery = y + th / 2;
    e.colour = s.colour;
    e.text = text(label, {x + marker + textgap, y, w, th}, TTextAlign::left);
    l.legend.push_back(e);
    x += marker + textgap + w + legendgap;
  }
  y += th + kGap;

  const double xtitletop = height - kMargin - th;
  const double xlabeltop = xtitletop - 1 - th;
  const double plotbottom = xlabeltop - kTick;
  const double plottop = y + th / 2;
  const double plotheight = plotbottom - plottop;
  if (plotheight < kMinPlotLines * th || fm.textwidth(kShareYTitle) > plotheight) return small();

  double maxtime = 0;
  for (const auto& s : series)
    for (const auto& p : s.points) maxtime = std::max(maxtime, p.first);
  const double labelleft = kMargin + th + kGap;
  // The share axis ends at 100 % exactly: the headroom the time axes get would overshoot it.
  l.yaxis = verticalaxis(0, 100 / kHeadroom, plotbottom, plottop, 0, TTextAlign::right, fm);
  const double labelw = widestlabel(l.yaxis.scale, fm);
  const double plotleft = labelleft + labelw + kTick + 1;
  for (auto& lab : l.yaxis.labels) lab.box.left = labelleft, lab.box.width = labelw;
  l.ytitle = text(kShareYTitle, {kMargin, plottop, th, plotheight});
  l.ytitle.vertical = true;

  double plotright = width - kMargin;
  l.xaxis = fittedxaxis(maxtime, plotleft, plotright, width - kMargin, xlabeltop, fm);
  l.plot = {plotleft, plottop, std::max(1.0, plotright - plotleft), plotheight};
  if (l.plot.width < kMinPlotWidth || !verticalfits(l.yaxis.scale, plotheight, th) ||
      !horizontalfits(l.xaxis.scale, l.plot.width, fm))
    return small();
  l.xtitle = xtitlebelow(kShareXTitle, l.plot, xtitletop, l.bounds, fm);
  return l;
}
