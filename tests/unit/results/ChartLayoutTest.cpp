#include "results/ChartLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// Text widths of a 11 px font, near enough to the window's.
const TChartMetrics kFont = TChartMetrics::estimated(12, 11);

TChartModel ninecodes() {
  TChartModel m;
  m.settitles("Ramp test: http://127.0.0.1:8080/some/rather/long/path/to/a/page.html",
              "Ramp test: http://127.0.0.1:8080/");
  m.setfoot(0,
            "Resulting statuscodes: 100x\"200\" (=OK), 3x\"0\" (=unknown http result), "
            "5x\"302\" (=Found), 7x\"400\" (=Bad Request), 9x\"401\" (=Unauthorized), "
            "2x\"403\" (=Forbidden), 4x\"404\" (=Not Found), 6x\"500\" (=Internal Server "
            "Error), 1x\"503\" (=Service Unavailable), ");
  m.setfoot(1, "ramp test with up to 400 simultaneous users - 4 runs");
  m.setfoot(2,
            "  Average Request Processing Time for 400 simultaneous users: 12 msec (equals "
            "~300000 requests/h)");
  m.setfoot(3, "  Average User Wait Time: 25 msec for 400 simultaneous users");
  for (int i = 0; i < 2000; ++i) m.addrequest(i * 0.1L, i % 300, 200);
  for (int step = 1; step <= 4; ++step) {
    m.addramp(step * 100, 0.05L * step, "ok");
    m.addrampwait(step * 100, 10.0L * step);
  }
  return m;
}

void expectinside(const TChartText& t, const TChartRect& b, double width) {
  SCOPED_TRACE(t.text);
  EXPECT_GE(t.box.left, b.left - 0.01);
  EXPECT_LE(t.box.right(), b.right() + 0.01);
  EXPECT_LE(width, t.vertical ? t.box.height + 0.01 : t.box.width + 0.01);
}

// Two outcomes, as a test against one server mostly shows them.
TChartModel twocodes() {
  TChartModel m = ninecodes();
  m.setfoot(0, "Resulting statuscodes: 1000x\"200\" (=OK), 500x\"404\" (=Not Found), ");
  return m;
}

// The words of a text, lines joined by one blank.
std::string words(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string footwords(const std::vector<TChartText>& foot) {
  std::string all;
  for (const auto& f : foot) all += f.text + " ";
  return words(all);
}

std::string modelfootwords(const TChartModel& m) {
  std::string all;
  for (const auto& f : m.foot()) all += f + " ";
  return words(all);
}

// Every tick label reads its tick's value inside the chart, the labels of a vertical axis stand
// a line apart, and the scale ends near the data (within two steps of it).
void expectrealaxis(const TAxisLayout& a, double datamax, double lineheight, bool vertical,
                    const TChartRect& bounds) {
  ASSERT_GE(a.scale.ticks.size(), 2u);
  ASSERT_EQ(a.labels.size(), a.scale.ticks.size());
  for (size_t i = 0; i < a.labels.size(); ++i) {
    std::string digits = a.labels[i].text;
    std::erase(digits, ',');
    EXPECT_NEAR(std::stod(digits), a.scale.ticks[i].value, a.scale.step * 1e-6);
    EXPECT_GE(a.labels[i].box.top, bounds.top - 0.01);
    EXPECT_LE(a.labels[i].box.bottom(), bounds.bottom() + 0.01);
    if (vertical && i > 0) {
      EXPECT_GE(std::fabs(a.pos(a.scale.ticks[i].value) - a.pos(a.scale.ticks[i - 1].value)),
                lineheight);
    }
  }
  EXPECT_LE(a.scale.max, std::max(datamax, a.scale.min) + 2 * a.scale.step);
}

bool overlap(const TChartRect& a, const TChartRect& b) {
  return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

}  // namespace

TEST(ChartLayout, ElideAndWrapNeverExceedTheWidth) {
  const auto w = kFont.textwidth;
  EXPECT_EQ(elidetext("short", 100, w), "short");
  const std::string cut = elidetext("a rather long line that cannot fit", 60, w);
  EXPECT_LE(w(cut), 60);
  EXPECT_EQ(cut.substr(cut.size() - 3), "\xe2\x80\xa6");
  // A UTF-8 character is never cut in half.
  const std::string umlauts = elidetext("\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c", 30, w);
  EXPECT_EQ(umlauts.size() % 2, 1u);
  const auto lines = wraptext("one two three four five six seven", 50, 0, w);
  EXPECT_GT(lines.size(), 2u);
  for (const auto& l : lines) EXPECT_LE(w(l), 50);
  const auto capped = wraptext("one two three four five six seven", 50, 2, w);
  ASSERT_EQ(capped.size(), 2u);
  EXPECT_EQ(capped[0], lines[0]);
  EXPECT_LE(w(capped[1]), 50);
  // A word longer than the line is broken inside.
  for (const auto& l : wraptext("http://127.0.0.1/aaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 40, 0, w))
    EXPECT_LE(w(l), 40);
}

// The window's designed size with the ramp test on leaves each chart about 175 by 550: every
// axis title is shown whole and both plots keep room for their points.
TEST(ChartLayout, DesignSizeKeepsTitlesWholeAndPlotsUsable) {
  const TChartModel m = twocodes();
  for (double h : {185.0, 250.0, 400.0, 700.0}) {
    SCOPED_TRACE(h);
    const TRequestChartLayout r = layoutrequestchart(m, 549, h, kFont);
    ASSERT_TRUE(r.plotted);
    EXPECT_EQ(r.ytitle.text, kRequestYTitle);
    EXPECT_EQ(r.xtitle.text, kRequestXTitle);
    // The foot lines keep every word, so the lowest plot is a little lower than it was.
    EXPECT_GE(r.plot.height, 45);
    EXPECT_GE(r.plot.width, 400);
    expectinside(r.ytitle, r.bounds, kFont.textwidth(kRequestYTitle));
    for (const auto& f : r.foot) expectinside(f, r.bounds, kFont.textwidth(f.text));
    EXPECT_LE(r.foot.back().box.bottom(), h);
    EXPECT_GE(r.foot.front().box.top, r.xtitle.box.bottom());
    // No point of the data lies outside the axes.
    EXPECT_GE(r.xaxis.scale.max, static_cast<double>(m.requestmaxx()));
    EXPECT_GE(r.yaxis.scale.max, static_cast<double>(m.requestmaxy()));

    // The ramp chart's axis titles stand along their axes, wrapped but whole, as in print.
    const TRampChartLayout a = layoutrampchart(m, 549, h, kFont);
    ASSERT_TRUE(a.plotted);
    EXPECT_EQ(words(a.lefttitle.text), kRampProcTitle);
    EXPECT_EQ(words(a.righttitle.text), kRampWaitTitle);
    EXPECT_TRUE(a.lefttitle.vertical && a.righttitle.vertical);
    EXPECT_LE(a.lefttitle.box.right(), a.plot.left);
    EXPECT_GE(a.righttitle.box.left, a.plot.right());
    for (const TChartText* t : {&a.lefttitle, &a.righttitle}) {
      for (size_t at = 0, nl = 0; at <= t->text.size(); at = nl + 1) {
        nl = std::min(t->text.find('\n', at), t->text.size());
        expectinside(*t, a.bounds, kFont.textwidth(t->text.substr(at, nl - at)));
      }
    }
    EXPECT_EQ(a.xtitle.text, kRampXTitle);
    EXPECT_GE(a.plot.height, 70);
    ASSERT_EQ(a.marks.size(), 4u);
    EXPECT_GE(a.marks.front().box.top, a.legend.front().markery);
    EXPECT_EQ(a.legend.size(), 2u);
  }
}

// The foot lines wrap and keep every word wherever they have room; a chart too low for them all
// shows fewer, its last line shown ending in "…" (the window's tool tip then shows them whole).
TEST(ChartLayout, FootKeepsEveryWord) {
  TChartModel m = ninecodes();
  m.setfoot(1,
            "ramp test with up to 400 simultaneous users, Use usernames from \"users.txt\" - 3 "
            "runs - wait for 2s - using proxy: 127.0.0.1:18888");
  const std::string all = modelfootwords(m);
  for (double w : {300.0, 500.0, 549.0, 900.0}) {
    for (double h = 30; h <= 700; h += 5) {
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
      const TRequestChartLayout r = layoutrequestchart(m, w, h, kFont);
      for (const auto& f : r.foot) {
        expectinside(f, r.bounds, kFont.textwidth(f.text));
        EXPECT_LE(f.box.bottom(), h + 0.01);
      }
      if (!r.footcut) {
        EXPECT_EQ(footwords(r.foot), all);
      } else if (r.plotted) {
        // A low chart keeps its plot by showing fewer foot lines, the last one cut.
        ASSERT_FALSE(r.foot.empty());
        if (!r.foot.back().text.ends_with("\xe2\x80\xa6")) {
          EXPECT_EQ(footwords(r.foot), all);
        }
      } else {
        // Cut only where the lines shown fill everything below the note.
        if (!r.foot.empty()) {
          EXPECT_LT(r.foot.front().box.top - r.note.box.bottom(), 2 * kFont.textheight);
          EXPECT_TRUE(r.foot.back().text.ends_with("\xe2\x80\xa6"));
        }
      }
    }
  }
  // The proxy at the end of the description is on screen at the design width.
  const TRequestChartLayout r = layoutrequestchart(m, 549, 300, kFont);
  ASSERT_TRUE(r.plotted);
  EXPECT_NE(footwords(r.foot).find("using proxy: 127.0.0.1:18888"), std::string::npos);
}

// Sharing the window's smallest size with the request chart leaves the ramp chart too low for
// its axis titles along the axes: the legend then names the axes, each series' whole title over
// its own axis, and the plot stays.
TEST(ChartLayout, LowRampChartNamesItsAxesInTheLegend) {
  const TChartModel m = twocodes();
  int low = 0;
  for (double h = 117; h <= 185; h += 1) {
    SCOPED_TRACE(h);
    const TRampChartLayout a = layoutrampchart(m, 549, h, kFont);
    ASSERT_TRUE(a.plotted);
    ASSERT_EQ(a.legend.size(), 2u);
    if (!a.lefttitle.text.empty()) {
      EXPECT_EQ(words(a.lefttitle.text), kRampProcTitle);
      EXPECT_EQ(words(a.righttitle.text), kRampWaitTitle);
      continue;
    }
    ++low;
    EXPECT_TRUE(a.righttitle.text.empty());
    EXPECT_EQ(a.legend[0].text.text, kRampProcTitle);
    EXPECT_EQ(a.legend[1].text.text, kRampWaitTitle);
    // The first entry stands over the left axis' labels, the second ends over the right one's.
    EXPECT_LE(a.legend[0].markerx, a.plot.left);
    EXPECT_GE(a.legend[1].text.box.right(), a.plot.right());
    EXPECT_LE(a.legend[1].text.box.right(), 549 - 4 + 0.01);
    EXPECT_LE(a.legend[0].text.box.right(), a.legend[1].markerx);
    for (const auto& e : a.legend) EXPECT_LE(e.text.box.bottom(), a.plot.top);
    ASSERT_EQ(a.marks.size(), 4u);
    for (const auto& mark : a.marks) EXPECT_GE(mark.box.top, a.legend[0].text.box.bottom());
  }
  EXPECT_GT(low, 20);
  // Too narrow for both titles whole in one line: nothing is plotted rather than a title cut.
  const TRampChartLayout narrow = layoutrampchart(m, 300, 110, kFont);
  EXPECT_FALSE(narrow.plotted);
}

// At every size the window allows, down to almost nothing: a chart either plots with real tick
// values and its texts apart, or shows only its note, never absurd axes.
TEST(ChartLayout, SmallSizesPlotRealTicksOrSaySo) {
  const TChartModel m = twocodes();
  int plotted = 0, notes = 0;
  for (double w : {120.0, 250.0, 500.0, 549.0, 1000.0}) {
    for (double h = 10; h <= 400; h += 3) {
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
      const TRequestChartLayout r = layoutrequestchart(m, w, h, kFont);
      if (r.plotted) {
        ++plotted;
        EXPECT_TRUE(r.note.text.empty());
        EXPECT_GE(r.plot.height, 3 * kFont.textheight);
        expectrealaxis(r.yaxis, static_cast<double>(m.requestmaxy()), kFont.textheight, true,
                       r.bounds);
        expectrealaxis(r.xaxis, static_cast<double>(m.requestmaxx()), 0, false, r.bounds);
        if (!r.ytitle.vertical) {
          EXPECT_FALSE(overlap(r.ytitle.box, r.title.box));
        }
        EXPECT_GE(r.plot.top, r.title.box.bottom());
      } else {
        ++notes;
        EXPECT_TRUE(r.yaxis.labels.empty() && r.xaxis.labels.empty());
        EXPECT_TRUE(r.note.text == kTooSmallNote || r.note.text.ends_with("\xe2\x80\xa6"));
      }
      const TRampChartLayout a = layoutrampchart(m, w, h, kFont);
      if (a.plotted) {
        expectrealaxis(a.leftaxis, 0.2, kFont.textheight, true, a.bounds);
        expectrealaxis(a.rightaxis, 40, kFont.textheight, true, a.bounds);
        expectrealaxis(a.xaxis, 400, 0, false, a.bounds);
        // Each step's point stands at its own height, none on the zero line.
        for (size_t i = 0; i < m.ramps().size(); ++i) {
          const double y = a.leftaxis.pos(static_cast<double>(m.ramps()[i].y));
          EXPECT_LT(y, a.leftaxis.pos(0) - 1);
          if (i > 0) {
            EXPECT_LT(y, a.leftaxis.pos(static_cast<double>(m.ramps()[i - 1].y)));
          }
        }
        EXPECT_FALSE(overlap(a.lefttitle.box, a.plot));
        EXPECT_FALSE(overlap(a.righttitle.box, a.plot));
      } else {
        EXPECT_TRUE(a.leftaxis.labels.empty() && a.rightaxis.labels.empty());
        EXPECT_TRUE(a.note.text == kTooSmallNote || a.note.text.ends_with("\xe2\x80\xa6"));
      }
    }
  }
  EXPECT_GT(plotted, 100);
  EXPECT_GT(notes, 20);
  // The window's smallest sizes with the ramp test on leave charts about 45 pixels high.
  EXPECT_FALSE(layoutrequestchart(m, 500, 45, kFont).plotted);
  EXPECT_EQ(layoutrampchart(m, 500, 45, kFont).note.text, kTooSmallNote);
}

// Drawing order: successes lowest by start time, then every other outcome in one layer, the
// classes interleaved; equal keys keep the completion order.
TEST(ChartLayout, FailuresDrawnOverSuccessesAndInterleaved) {
  TChartModel m;
  m.addrequest(5, 1, 0);  // a time-out, started last of all but first to complete
  for (int i = 0; i < 6; ++i) m.addrequest(i * 0.5L, 1, i % 3 == 0 ? 404 : 200);
  m.addrequest(4, 1, 500);
  m.addrequest(4.5L, 1, 0);
  const std::vector<size_t> order = pointorder(m);
  std::vector<int> codes;
  for (size_t i : order) codes.push_back(m.requests()[i].statuscode);
  // The four successes first, by start time.
  EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 4),
            (std::vector<int>{200, 200, 200, 200}));
  for (size_t k = 1; k < 4; ++k) EXPECT_LT(m.requests()[order[k - 1]].x, m.requests()[order[k]].x);
  for (size_t k = 4; k < order.size(); ++k) EXPECT_EQ(pointlayer(m.requests()[order[k]]), 1);
  // The same points give the same order: screen, paper and HTML agree.
  EXPECT_EQ(pointorder(m), order);
  // Even when failures outnumber successes, no success is drawn over a failure.
  TChartModel down;
  for (int i = 0; i < 10; ++i) down.addrequest(i, 1, i < 8 ? 503 : 200);
  const std::vector<size_t> downorder = pointorder(down);
  EXPECT_EQ(down.requests()[downorder[0]].statuscode, 200);
  EXPECT_EQ(down.requests()[downorder[1]].statuscode, 200);
  EXPECT_EQ(down.outcomes().back(), (TOutcomeCount{503, 8}));
  down.clearrequests();
  EXPECT_TRUE(down.outcomes().empty());
  EXPECT_EQ(down.outcomecount(ocError), 0u);
}

// The tour's plot at 5000 users: 2500 errors and 833 time-outs on the same spots, the time-outs
// completing last. Each class keeps about its share of the pixels that show.
TEST(ChartLayout, EveryFailureClassShowsInProportionAtAnyDensity) {
  for (const double spread : {1.0, 20.0, 400.0}) {
    TChartModel m;
    uint32_t seed = 7;
    auto next = [&] {
      seed = seed * 1664525u + 1013904223u;
      return (seed >> 8) / double(1 << 24);
    };
    for (int i = 0; i < 3333; ++i) {
      const bool timeout = i >= 2500;
      m.addrequest(next() * spread, 1000 + next() * spread, timeout ? 0 : 503, -1, -1,
                   timeout ? 10060 : 0);
    }
    const TRequestChartLayout l = layoutrequestchart(m, 600, 300, kFont);
    ASSERT_TRUE(l.plotted);
    const int w = int(l.bounds.width), h = int(l.bounds.height);
    std::vector<int> pixel(size_t(w * h), -1);
    for (size_t i : pointorder(m)) {
      const TChartRect r = l.pointrect(m.requests()[i]);
      for (int y = std::max(0, int(r.top)); y < std::min(h, int(r.bottom())); ++y)
        for (int x = std::max(0, int(r.left)); x < std::min(w, int(r.right())); ++x)
          pixel[size_t(y * w + x)] = m.requests()[i].statuscode;
    }
    const double red = double(std::count(pixel.begin(), pixel.end(), 503));
    const double black = double(std::count(pixel.begin(), pixel.end(), 0));
    ASSERT_GT(red + black, 0);
    EXPECT_NEAR(red / (red + black), 0.75, 0.15) << "spread " << spread;
  }
}

// An aborted request and this machine's own failure are classes of their own: colour, legend
// entry with its count, apart from the server's errors.
TEST(ChartLayout, AbortedAndClientFailuresHaveTheirOwnClass) {
  TChartModel m;
  m.settitles("Load test: http://127.0.0.1/", "");
  m.addrequest(1, 10, 200);
  m.addrequest(2, 10, 500);
  m.addrequest(3, 10, 0, -1, -1, 10060);
  for (int i = 0; i < 4; ++i) m.addrequest(4 + i, 10, 404, -1, -1, kAbortedSocketCode);
  m.addrequest(9, 10, 404, -1, -1, 10055);
  m.addrequest(10, 10, 404, -1, -1, 10024);
  EXPECT_EQ(m.outcomecount(ocOk), 1u);
  EXPECT_EQ(m.outcomecount(ocError), 1u);
  EXPECT_EQ(m.outcomecount(ocTimeout), 1u);
  EXPECT_EQ(m.outcomecount(ocAborted), 4u);
  EXPECT_EQ(m.outcomecount(ocClientError), 2u);
  const TRequestChartLayout l = layoutrequestchart(m, 1000, 400, kFont);
  std::vector<std::string> legend;
  std::vector<TChartColour> colours;
  for (const auto& e : l.legend) {
    legend.push_back(e.text.text);
    colours.push_back(e.colour);
  }
  EXPECT_EQ(legend, (std::vector<std::string>{"ok 1", "error 1", "timeout 1", "aborted 4",
                                              "client error 2"}));
  std::vector<TChartColour> distinct = colours;
  for (size_t a = 0; a < distinct.size(); ++a)
    for (size_t b = a + 1; b < distinct.size(); ++b) EXPECT_FALSE(distinct[a] == distinct[b]);
  EXPECT_EQ(colours[3], chartstyle::kAborted);
  EXPECT_EQ(colours[4], chartstyle::kClientError);
  EXPECT_EQ(m.requests()[3].outcome(), ocAborted);
  m.clearrequests();
  EXPECT_EQ(m.outcomecount(ocAborted), 0u);
}

TEST(ChartLayout, PointsMapOntoThePlot) {
  TChartModel m;
  m.addrequest(0, 0, 200);
  m.addrequest(1000, 50, 404);
  const TRequestChartLayout l = layoutrequestchart(m, 600, 400, kFont);
  const TChartRect first = l.pointrect(m.requests()[0]);
  EXPECT_DOUBLE_EQ(first.width, 2 * chartstyle::kRequestPointHalf + 1);
  EXPECT_NEAR(first.left + chartstyle::kRequestPointHalf, l.plot.left, 1);
  EXPECT_NEAR(first.top + chartstyle::kRequestPointHalf, l.plot.bottom(), 1);
  const TChartRect last = l.pointrect(m.requests()[1]);
  EXPECT_LT(last.right(), l.plot.right());
  EXPECT_GT(last.top, l.plot.top);
  EXPECT_TRUE(l.sameplot(layoutrequestchart(m, 600, 400, kFont)));
  m.addrequest(5000, 50, 200);
  EXPECT_FALSE(l.sameplot(layoutrequestchart(m, 600, 400, kFont)));
  EXPECT_EQ(chartstyle::pointcolour(200), (TChartColour{0, 128, 0}));
  EXPECT_EQ(chartstyle::pointcolour(0), (TChartColour{0, 0, 0}));
  EXPECT_EQ(chartstyle::pointcolour(302), (TChartColour{255, 0, 0}));
}

// Waits shorter than a millisecond (a fast server on loopback) once fell below the ramp chart's
// wait axis, which began at 1, and were drawn over the user axis' labels.
TEST(ChartLayout, EveryRampPointInsideThePlot) {
  TChartModel m;
  const double waits[] = {0.4, 0.9, 1.6};
  for (int step = 0; step < 3; ++step) {
    m.addramp(13 * (step + 1), 0.1L, "ok");
    m.addrampwait(13 * (step + 1), waits[step]);
  }
  const TRampChartLayout a = layoutrampchart(m, 549, 250, kFont);
  ASSERT_TRUE(a.plotted);
  for (const auto& p : m.rampwaits()) {
    const double y = a.rightaxis.pos(static_cast<double>(p.y));
    EXPECT_GE(y, a.plot.top);
    EXPECT_LE(y, a.plot.bottom());
  }
  EXPECT_EQ(a.rightaxis.scale.min, 0);
  // Waits of a millisecond and more keep the axis beginning at 1.
  TChartModel slow;
  slow.addrampwait(10, 5);
  slow.addrampwait(20, 40);
  EXPECT_EQ(layoutrampchart(slow, 549, 250, kFont).rightaxis.scale.min, 1);
}

// The legend beside the x axis title counts each outcome colour, so the share of every outcome
// can be read even where the points of one cover another's.
TEST(ChartLayout, RequestLegendCountsEachOutcomeColour) {
  TChartModel m;
  for (int i = 0; i < 17; ++i) m.addrequest(i, 10, i < 10 ? 200 : i < 14 ? 404 : i < 15 ? 500 : 0);
  const TRequestChartLayout l = layoutrequestchart(m, 549, 300, kFont);
  ASSERT_EQ(l.legend.size(), 3u);
  EXPECT_EQ(l.legend[0].text.text, "ok 10");
  EXPECT_EQ(l.legend[1].text.text, "error 5");
  EXPECT_EQ(l.legend[2].text.text, "timeout 2");
  EXPECT_EQ(l.legend[0].colour, chartstyle::pointcolour(200));
  EXPECT_EQ(l.legend[1].colour, chartstyle::pointcolour(404));
  EXPECT_EQ(l.legend[2].colour, chartstyle::pointcolour(0));
  double right = l.xtitle.box.left + kFont.textwidth(l.xtitle.text);
  EXPECT_EQ(l.xtitle.text, kRequestXTitle);
  for (const auto& e : l.legend) {
    EXPECT_GT(e.markerx - chartstyle::kRequestPointHalf, right);
    EXPECT_NEAR(e.markery, l.xtitle.box.top + l.xtitle.box.height / 2, 0.01);
    right = e.text.box.right();
    EXPECT_LE(right, l.plot.right() + 0.01);
  }
  // Without room beside the title there is none; the foot lines count the outcomes then.
  EXPECT_TRUE(layoutrequestchart(m, 250, 300, kFont).legend.empty());
  EXPECT_TRUE(layoutrequestchart(TChartModel(), 549, 300, kFont).legend.empty());
}
