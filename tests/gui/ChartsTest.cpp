// The result charts as drawn: overlapping points show failures over successes, rarer outcomes
// over commoner ones and, within an outcome, the latest-started request, whatever order the
// completions arrive in, on screen and in the paint routine used for print and copy; batches
// draw incrementally; ramp curves, copy and print; the keyboard reaches the charts and their menu.

#include <QApplication>
#include <QClipboard>
#include <QToolTip>
#include <QtTest>
#include <map>
#include <random>

#include "gui/ResultCharts.h"
#include "support/TestSupport.h"

namespace {

// The colour a pixel must show: that of the point covering it in the highest layer, there the
// deepest (equal depths: the later completion), or none.
std::optional<QColor> expectedat(const TRequestChartLayout& l, const TChartModel& m, QPoint px) {
  const auto& pts = m.requests();
  auto above = [&](size_t a, size_t b) {
    const int la = pointlayer(pts[a]), lb = pointlayer(pts[b]);
    return la != lb ? la > lb : pointdepth(pts[a], a) >= pointdepth(pts[b], b);
  };
  std::optional<size_t> best;
  for (size_t i = 0; i < pts.size(); ++i) {
    const QRectF r = qrect(l.pointrect(pts[i]));
    const QPointF centre = QPointF(px) + QPointF(0.5, 0.5);
    if (!r.contains(centre) || !qrect(l.plot).contains(centre)) continue;
    if (!best || above(i, *best)) best = i;
  }
  if (!best) return std::nullopt;
  return qcolour(chartstyle::outcomecolour(pts[*best].outcome()));
}

}  // namespace

class ChartsTest : public QObject {
  Q_OBJECT
 private slots:
  void testDrawingOrderInAnyCompletionOrder() {
    TResultCharts charts;
    charts.resize(565, 380);
    charts.show();
    QVERIFY(QTest::qWaitForWindowExposed(&charts));
    // 4000 mixed outcomes, so close together that every point overlaps its neighbours; they
    // complete in a shuffled order and arrive in batches of 500.
    std::vector<TChartPoint> started;
    for (int i = 0; i < 4000; ++i)
      started.push_back({i * 0.25L, 40 + (i % 7) * 0.5L, i % 4 == 1 ? 404 : (i % 10 ? 200 : 0)});
    std::vector<TChartPoint> completed = started;
    std::shuffle(completed.begin(), completed.end(), std::mt19937(7));
    // The latest start first, so the axes are set by the first batch and the rest is incremental.
    std::swap(*std::max_element(completed.begin(), completed.end(),
                                [](auto& a, auto& b) { return a.x < b.x; }),
              completed.front());
    for (size_t at = 0; at < completed.size(); at += 500) {
      charts.addRequestPoints({completed.begin() + long(at), completed.begin() + long(at + 500)});
      QCoreApplication::processEvents();
    }
    QCOMPARE(charts.requestpointcount(), 4000);
    QCOMPARE(charts.requestpointcount(404), 1000);
    const int redraws = charts.chart1()->fullredraws();
    QVERIFY2(redraws <= 2, qPrintable(QString::number(redraws)));

    const QImage screen = charts.chart1()->grab().toImage();
    QImage painted(charts.chart1()->size(), QImage::Format_RGB32);
    {
      QPainter p(&painted);
      charts.chart1()->paintchart(p, painted.rect());
    }
    const TRequestChartLayout& l = charts.chart1()->layout();
    int checked = 0, black = 0, red = 0;
    for (size_t i = 0; i < started.size(); i += 97) {
      const QRectF r = qrect(l.pointrect(started[i]));
      for (QPoint px : {r.center().toPoint(), r.topLeft().toPoint(), r.bottomRight().toPoint()}) {
        const auto want = expectedat(l, charts.model(), px);
        if (!want) continue;
        ++checked;
        QCOMPARE(QColor(screen.pixel(px)), *want);
        QCOMPARE(QColor(painted.pixel(px)), *want);
        black += *want == QColor(0, 0, 0);
        red += *want == QColor(255, 0, 0);
      }
    }
    QVERIFY(checked > 60);
    // Hovering names the point seen on top, with its label: the last time-out is in the top
    // layer and started after every other time-out.
    const TChartPoint& last = started[3980];
    QCOMPARE(last.statuscode, 0);
    const QString tip = charts.chart1()->pointtext(qrect(l.pointrect(last)).center());
    QCOMPARE(tip, QString("TimeOut: started %1 ms, waited %2 ms")
                      .arg(double(last.x), 0, 'f', 0)
                      .arg(double(last.y), 0, 'f', 0));
    QVERIFY(charts.chart1()->pointtext(QPointF(1, 1)).isEmpty());
    // A point with the server's own time names it too (placed below all others, so it is seen).
    const TChartPoint stamped{500, 10, 200, 2.46f, 1.0f};
    charts.addRequestPoints({stamped});
    QCoreApplication::processEvents();
    QCOMPARE(charts.chart1()->pointtext(qrect(l.pointrect(stamped)).center()),
             QString("200: started 500 ms, waited 10 ms, server time 2.5 ms"));
    // An https request names its connect time and its handshake's; a plain one its connect time.
    const TChartPoint https{510, 14, 200, 3.0f, 1.0f, 0, 0.31f, 4.12f};
    const TChartPoint plain{520, 18, 200, -1, -1, 0, 0.52f};
    charts.addRequestPoints({https, plain});
    QCoreApplication::processEvents();
    QCOMPARE(charts.chart1()->pointtext(qrect(l.pointrect(https)).center()),
             QString("200: started 510 ms, waited 14 ms, server time 3.0 ms, connect 0.3 ms, TLS "
                     "4.1 ms"));
    QCOMPARE(charts.chart1()->pointtext(qrect(l.pointrect(plain)).center()),
             QString("200: started 520 ms, waited 18 ms, connect 0.5 ms"));
    // Both failure outcomes stay visible, the rarer one over the commoner.
    QVERIFY(black > 5 && red > 5);
  }

  // One URL of three missing, as in a multiple-URL test: every third request a 404, each started
  // just before two successes that wait a little longer and so used to cover it; 6 percent
  // time-outs among them. Every failure's point shows a failure's colour at its centre, and each
  // outcome keeps about its share of the plot's coloured pixels or more.
  void testFailuresNeverHiddenBySuccesses() {
    TResultCharts charts;
    charts.resize(565, 300);
    charts.show();
    QVERIFY(QTest::qWaitForWindowExposed(&charts));
    std::vector<TChartPoint> pts;
    for (int i = 0; i < 1500; ++i) {
      const int code = i % 3 == 0 ? 404 : (i % 17 == 5 ? 0 : 200);
      pts.push_back({i * 0.02L, 50 - (i % 100) * 0.05L + (i % 3) * 0.1L, code});
    }
    // Completions in start order: the successes arrive after the failure they cover.
    for (size_t at = 0; at < pts.size(); at += 300)
      charts.addRequestPoints({pts.begin() + long(at), pts.begin() + long(at + 300)});
    QCoreApplication::processEvents();
    const TRequestChartLayout& l = charts.chart1()->layout();
    QVERIFY(l.plotted);
    const QImage screen = charts.chart1()->grab().toImage();
    QImage painted(charts.chart1()->size(), QImage::Format_RGB32);
    {
      QPainter p(&painted);
      charts.chart1()->paintchart(p, painted.rect());
    }
    int failures = 0;
    for (const TChartPoint& pt : pts) {
      if (pt.statuscode == 200) continue;
      // A failure is never covered by a success; the failure classes may cover each other.
      const QPoint c = qrect(l.pointrect(pt)).center().toPoint();
      const QColor want = *expectedat(l, charts.model(), c);
      QVERIFY(want != QColor(0, 128, 0));
      QCOMPARE(QColor(screen.pixel(c)), want);
      QCOMPARE(QColor(painted.pixel(c)), want);
      ++failures;
    }
    QCOMPARE(failures, charts.requestpointcount(0) + charts.requestpointcount(404));
    std::map<QRgb, int> pixels;
    const QRect plot = qrect(l.plot).toRect();
    for (int y = plot.top(); y <= plot.bottom(); ++y)
      for (int x = plot.left(); x <= plot.right(); ++x) ++pixels[screen.pixel(x, y)];
    const int red = pixels[QColor(255, 0, 0).rgb()], black = pixels[QColor(0, 0, 0).rgb()];
    const int green = pixels[QColor(0, 128, 0).rgb()];
    QVERIFY2(red * 3 >= red + green + black, qPrintable(QString::number(red)));
    QVERIFY2(black * 100 >= 5 * (red + green + black), qPrintable(QString::number(black)));
    QVERIFY(green > 0);
    // The hover label names what is seen: the failure at its centre.
    const TChartPoint& failed = pts[300];
    QVERIFY(charts.chart1()->pointtext(qrect(l.pointrect(failed)).center()).startsWith("E404: "));
  }

  // At the window's smallest sizes a chart says it is too small instead of drawing axes; the
  // tool tip then holds the foot lines it could not show.
  void testTooSmallChartSaysSo() {
    // A child is not held to its layout's minimum: the panel gets what the window has left.
    QWidget window;
    window.resize(500, 90);
    TResultCharts charts(&window);
    charts.setGeometry(0, 0, 500, 90);
    charts.chart2()->show();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    charts.setChart1Title("Load test: http://127.0.0.1/");
    charts.setFootLine(0, "Resulting statuscodes: 1000x\"200\" (=OK), 500x\"404\" (=Not Found),");
    charts.setFootLine(1, "1500 simultaneous users - 3 runs - using proxy: 127.0.0.1:18888");
    charts.setFootLine(2, "Average Request Processing Time after 3 runs: 1 msec");
    charts.setFootLine(3, "Average User Wait Time: 59 msec for 1500 simultaneous users");
    charts.addRequestPoints({{1, 10, 200}, {30, 70, 404}});
    charts.setRamps({{500, 0.5, "ok"}}, {{500, 20, ""}});
    QCoreApplication::processEvents();
    const TRequestChartLayout& r = charts.chart1()->layout();
    QVERIFY(!r.plotted);
    QCOMPARE(QString::fromStdString(r.note.text), QString(kTooSmallNote));
    QVERIFY(r.footcut);
    QVERIFY(!charts.chart2()->layout().plotted);
    // No axis label, no point: the plot area is empty white around the note's text.
    const QImage img = charts.chart1()->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixel(x, y);
        QVERIFY(c != QColor(255, 0, 0) && c != QColor(0, 128, 0));
      }
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), charts.chart1()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(charts.chart1(), &help);
    QVERIFY(QToolTip::isVisible());
    QVERIFY(QToolTip::text().contains("using proxy: 127.0.0.1:18888"));
    QToolTip::hideText();
  }

  void testRescaleRedrawsAndClearStartsAfresh() {
    TResultCharts charts;
    charts.resize(500, 300);
    charts.show();
    QVERIFY(QTest::qWaitForWindowExposed(&charts));
    charts.addRequestPoints({{1, 1, 200}});
    QCoreApplication::processEvents();
    const double ymax = charts.chart1()->layout().yaxis.scale.max;
    // A point beyond the axes rescales them, and every point moves.
    charts.addRequestPoints({{20000, 900, 500}});
    QCoreApplication::processEvents();
    const TRequestChartLayout& l = charts.chart1()->layout();
    QVERIFY(l.yaxis.scale.max >= 900 && l.yaxis.scale.max > ymax);
    QVERIFY(l.xaxis.scale.max >= 20000);
    QCOMPARE(l.xaxis.scale.min, 0.0);
    const QImage img = charts.chart1()->grab().toImage();
    QCOMPARE(QColor(img.pixel(qrect(l.pointrect({20000, 900, 500})).center().toPoint())),
             QColor(255, 0, 0));
    // A point on the time axis shows the half above it.
    QCOMPARE(QColor(img.pixel(qrect(l.pointrect({1, 1, 200})).topLeft().toPoint() + QPoint(3, 0))),
             QColor(0, 128, 0));
    charts.clear();
    QCOMPARE(charts.requestpointcount(), 0);
    QCoreApplication::processEvents();
    const QImage empty = charts.chart1()->grab().toImage();
    const QRect plot = qrect(charts.chart1()->layout().plot).toRect().adjusted(2, 2, -2, -2);
    for (int y = plot.top(); y < plot.bottom(); y += 3)
      for (int x = plot.left(); x < plot.right(); x += 3) {
        const QColor c = empty.pixel(x, y);
        QVERIFY2(c != QColor(255, 0, 0) && c != QColor(0, 128, 0), "a cleared chart shows points");
      }
  }

  void testRampCurvesLabelsAndTitles() {
    TResultCharts charts;
    charts.resize(700, 800);
    charts.chart2()->show();
    charts.show();
    QVERIFY(QTest::qWaitForWindowExposed(&charts));
    QCOMPARE(charts.chart2()->height(), charts.height() / 2);
    charts.setChart2Title("Ramp test: http://127.0.0.1/");
    std::vector<TRampPoint> ramps, waits;
    for (int step = 1; step <= 4; ++step) {
      ramps.push_back({step * 5, 0.1L * (5 - step), step == 4 ? "25% Errors" : "ok"});
      waits.push_back({step * 5, 20.0L * step, ""});
    }
    charts.setRamps(ramps, waits);
    const TRampChartLayout l = charts.chart2()->layout();
    QCOMPARE(l.title.text, std::string("Ramp test: http://127.0.0.1/"));
    QStringList marks;
    for (const auto& m : l.marks) marks << QString::fromStdString(m.text);
    QCOMPARE(marks, QStringList({"ok", "ok", "ok", "25% Errors"}));
    // Sub-millisecond averages get labels with decimals, the users whole numbers.
    QCOMPARE(l.leftaxis.scale.ticks.back().label.find('.') != std::string::npos, true);
    for (const auto& t : l.xaxis.scale.ticks) QCOMPARE(t.label.find('.'), std::string::npos);
    // Each curve is drawn in its own colour at its last point.
    const QImage img = charts.chart2()->grab().toImage();
    const QPoint proc(int(l.xaxis.pos(20)), int(l.leftaxis.pos(0.1)));
    const QPoint wait(int(l.xaxis.pos(20)), int(l.rightaxis.pos(80)) + 2);
    QCOMPARE(QColor(img.pixel(proc)), QColor(0, 0, 0));
    QCOMPARE(QColor(img.pixel(wait)), QColor(0, 64, 0));
    charts.clearramps();
    QVERIFY(charts.model().ramps().empty() && charts.model().rampwaits().empty());
  }

  void testCopyAndPrint() {
    TResultCharts charts;
    charts.resize(500, 400);
    charts.show();
    QVERIFY(QTest::qWaitForWindowExposed(&charts));
    charts.setFootLine(0, "green=ok, red=error, black=timeout");
    charts.setFootLine(1, "5 simultaneous users");
    charts.setFootLine(4, "ignored");
    QCOMPARE(charts.footLine(1), QString("5 simultaneous users"));
    QVERIFY(charts.footLine(4).isEmpty());

    // "Copy Graph" works before any test: the chart on white at its current size.
    QApplication::clipboard()->clear();
    charts.chart1()->copyaction()->trigger();
    const QImage copied = QApplication::clipboard()->image();
    QCOMPARE(copied.size(), charts.chart1()->size());
    QCOMPARE(QColor(copied.pixel(1, 1)), QColor(Qt::white));
    // "Print Graph" without its dialog: a landscape page holding the chart.
    TTempDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("chart.pdf")));
    charts.chart1()->printto(printer);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    const std::string pdf = readfile(dir.file("chart.pdf"));
    QVERIFY(pdf.rfind("%PDF", 0) == 0);
    QVERIFY(pdf.size() > 2000);

    for (TPlotWidget* c :
         {static_cast<TPlotWidget*>(charts.chart1()), static_cast<TPlotWidget*>(charts.chart2())}) {
      QStringList menu;
      for (auto* a : c->actions()) menu << a->text();
      QCOMPARE(menu, QStringList({"Print Graph", "Copy Graph"}));
      QCOMPARE(c->contextMenuPolicy(), Qt::ActionsContextMenu);
    }
  }
};

QTEST_MAIN(ChartsTest)
#include "ChartsTest.moc"
