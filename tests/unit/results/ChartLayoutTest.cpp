#include "results/ChartLayout.h"

#include <gtest/gtest.h>

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
  const TChartModel m = ninecodes();
  for (double h : {185.0, 250.0, 400.0, 700.0}) {
    SCOPED_TRACE(h);
    const TRequestChartLayout r = layoutrequestchart(m, 549, h, kFont);
    EXPECT_EQ(r.ytitle.text, kRequestYTitle);
    EXPECT_EQ(r.xtitle.text, kRequestXTitle);
    EXPECT_GE(r.plot.height, 50);
    EXPECT_GE(r.plot.width, 400);
    expectinside(r.ytitle, r.bounds, kFont.textwidth(kRequestYTitle));
    for (const auto& f : r.foot) expectinside(f, r.bounds, kFont.textwidth(f.text));
    EXPECT_LE(r.foot.back().box.bottom(), h);
    EXPECT_GE(r.foot.front().box.top, r.xtitle.box.bottom());
    // No point of the data lies outside the axes.
    EXPECT_GE(r.xaxis.scale.max, static_cast<double>(m.requestmaxx()));
    EXPECT_GE(r.yaxis.scale.max, static_cast<double>(m.requestmaxy()));

    const TRampChartLayout a = layoutrampchart(m, 549, h, kFont);
    EXPECT_EQ(a.lefttitle.text, kRampProcTitle);
    EXPECT_EQ(a.righttitle.text, kRampWaitTitle);
    EXPECT_EQ(a.xtitle.text, kRampXTitle);
    EXPECT_GE(a.plot.height, 70);
    expectinside(a.lefttitle, a.bounds, kFont.textwidth(kRampProcTitle));
    expectinside(a.righttitle, a.bounds, kFont.textwidth(kRampWaitTitle));
    ASSERT_EQ(a.marks.size(), 4u);
    EXPECT_GE(a.marks.front().box.top, a.legend.front().markery);
    EXPECT_EQ(a.legend.size(), 2u);
  }
  // The nine-code listing wraps when there is room and shrinks to one line per foot line when
  // there is not; it never widens the chart.
  EXPECT_GT(layoutrequestchart(m, 549, 700, kFont).foot.size(), 4u);
  EXPECT_EQ(layoutrequestchart(m, 549, 185, kFont).foot.size(), 4u);
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
