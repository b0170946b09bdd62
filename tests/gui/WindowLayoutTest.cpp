// The main window at its designed size of 565 by 784 as a new user meets it: every caption
// readable, labels clear of their fields, nothing overlapping even at the minimum size, both
// charts readable with the ramp test on, and a result never changing the window's size.

#include <unistd.h>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabBar>
#include <QtTest>

#include "FormControls.h"
#include "GuiSupport.h"
#include "gui/HttpAsy1.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

// The visible widgets laid out directly on the settings panel.
QList<QWidget*> panelwidgets(QWidget* panel) {
  QList<QWidget*> out;
  for (QWidget* w : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (w->isVisible()) out << w;
  return out;
}

QString overlaps(QWidget* panel) {
  const QList<QWidget*> ws = panelwidgets(panel);
  for (int i = 0; i < ws.size(); ++i)
    for (int j = i + 1; j < ws.size(); ++j)
      if (ws[i]->geometry().intersects(ws[j]->geometry()))
        return ws[i]->objectName() + "/" + ws[i]->metaObject()->className() + " over " +
               ws[j]->objectName() + "/" + ws[j]->metaObject()->className();
  return {};
}

// A ramp test of four steps as the window shows it when it has ended: both titles, the foot
// lines with a status listing of two codes, 1600 request points and the two ramp curves.
void showrampresult(TResultCharts& charts) {
  charts.setChart1Title("Ramp test: http://127.0.0.1:18771/size/2000");
  charts.setChart2Title("Ramp test: http://127.0.0.1:18771/size/2000");
  charts.setFootLine(
      0, "Resulting statuscodes: 396x\"200\" (=OK), 4x\"503\" (=Service Unavailable), ");
  charts.setFootLine(1, "ramp test with up to 400 simultaneous users - 4 runs");
  charts.setFootLine(2,
                     "  Average Request Processing Time for 400 simultaneous users: 1 msec "
                     "(equals ~5407220 requests/h)");
  charts.setFootLine(3, "  Average User Wait Time: 10 msec for 400 simultaneous users");
  std::vector<TChartPoint> points;
  for (int i = 0; i < 1600; ++i) points.push_back({i * 0.4L, 5.0L + i % 11, i % 100 ? 200 : 503});
  charts.addRequestPoints(points);
  std::vector<TRampPoint> ramps, waits;
  for (int step = 1; step <= 4; ++step) {
    ramps.push_back({step * 100, 0.4L * step, step == 4 ? "4% Errors" : "ok"});
    waits.push_back({step * 100, 9.0L + step, ""});
  }
  charts.setRamps(ramps, waits);
}

bool waitfor(const std::function<bool()>& cond, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT
 private slots:
  void testDesignSizeShowsEveryCaption() {
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-layout")});
    form.resize(565, 784);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    QCoreApplication::processEvents();
    QCOMPARE(form.size(), QSize(565, 784));

    // Every tab caption fits without scrolling.
    for (QTabWidget* tabs : {ui(form).PageControl2, ui(form).PageControl1}) {
      QTabBar* bar = tabs->tabBar();
      QVERIFY2(bar->sizeHint().width() <= bar->width(), qPrintable(tabs->objectName()));
      for (int i = 0; i < bar->count(); ++i)
        QVERIFY2(bar->tabRect(i).width() >= bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                 qPrintable(bar->tabText(i)));
    }
    // Labels show their whole text and keep a gap to the field they name.
    for (QLabel* l : ui(form).Panel4->findChildren<QLabel*>()) {
      if (!l->isVisible() || l->wordWrap()) continue;
      QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width(),
               qPrintable(l->text()));
      if (QWidget* buddy = l->buddy())
        QVERIFY2(l->geometry().right() + 3 <= buddy->geometry().left() ||
                     l->geometry().bottom() < buddy->geometry().top(),
                 qPrintable(l->text()));
    }
    for (QAbstractButton* b : ui(form).Panel4->findChildren<QAbstractButton*>())
      if (b->isVisible())
        QVERIFY2(b->fontMetrics().horizontalAdvance(b->text().remove('&')) < b->width(),
                 qPrintable(b->text()));
    QVERIFY2(overlaps(ui(form).Panel4).isEmpty(), qPrintable(overlaps(ui(form).Panel4)));
    // The hint under the settings stays on one line.
    QVERIFY(ui(form).Panel6->height() < 2 * ui(form).Panel6->fontMetrics().lineSpacing() + 4);

    // At the smallest size the window allows, nothing overlaps and every tab caption, check box
    // and button still shows its whole text.
    form.resize(form.minimumSizeHint());
    QCoreApplication::processEvents();
    QVERIFY2(overlaps(ui(form).Panel4).isEmpty(), qPrintable(overlaps(ui(form).Panel4)));
    for (QTabWidget* tabs : {ui(form).PageControl2, ui(form).PageControl1}) {
      QTabBar* bar = tabs->tabBar();
      for (int i = 0; i < bar->count(); ++i) {
        QVERIFY2(bar->rect().contains(bar->tabRect(i)), qPrintable(bar->tabText(i)));
        QVERIFY2(bar->tabRect(i).width() >= bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                 qPrintable(bar->tabText(i)));
      }
    }
    for (QAbstractButton* b : ui(form).Panel4->findChildren<QAbstractButton*>()) {
      if (!b->isVisible()) continue;
      QVERIFY2(b->fontMetrics().horizontalAdvance(b->text().remove('&')) < b->width(),
               qPrintable(b->text()));
      QVERIFY2(ui(form).Panel4->rect().contains(b->geometry()), qPrintable(b->text()));
    }
  }

  void testRampTestAtDesignSizeKeepsChartsReadable() {
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-layout")});
    form.resize(565, 784);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    ui(form).Ramp->setChecked(true);
    TResultCharts* charts = form.charts();
    showrampresult(*charts);
    QCoreApplication::processEvents();

    QCOMPARE(charts->chart2()->height(), charts->height() / 2);
    const TRequestChartLayout& r = charts->chart1()->layout();
    QCOMPARE(QString::fromStdString(r.ytitle.text), QString(kRequestYTitle));
    QCOMPARE(QString::fromStdString(r.xtitle.text), QString(kRequestXTitle));
    QVERIFY2(r.plot.height >= 60, qPrintable(QString::number(r.plot.height)));
    const TRampChartLayout a = charts->chart2()->layout();
    // Wrapped along their axes: every word is there.
    QCOMPARE(QString::fromStdString(a.lefttitle.text).replace('\n', ' '), QString(kRampProcTitle));
    QCOMPARE(QString::fromStdString(a.righttitle.text).replace('\n', ' '), QString(kRampWaitTitle));
    QCOMPARE(QString::fromStdString(a.xtitle.text), QString(kRampXTitle));
    QVERIFY2(a.plot.height >= 80, qPrintable(QString::number(a.plot.height)));
    // The titles are drawn where the layout put them: their boxes hold ink.
    const QImage img = charts->chart2()->grab().toImage();
    for (const TChartText* t : {&a.lefttitle, &a.righttitle, &a.xtitle}) {
      int ink = 0;
      const QRect box = qrect(t->box).toRect();
      for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) ink += qGray(img.pixel(x, y)) < 128;
      QVERIFY2(ink > 20, t->text.c_str());
    }
  }

  // At the smallest size the window allows, a ramp result still plots on both charts: they share
  // the panel's height so that neither says it is too small.
  void testRampResultAtMinimumSizePlotsBothCharts() {
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-layout")});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    ui(form).Ramp->setChecked(true);
    // The smallest size the window is designed for.
    form.resize(565, 650);
    QCoreApplication::processEvents();
    QCOMPARE(form.size(), QSize(565, 650));
    TResultCharts* charts = form.charts();
    showrampresult(*charts);
    QCoreApplication::processEvents();
    QVERIFY(charts->chart2()->isVisible());
    const TRequestChartLayout r =
        layoutrequestchart(charts->model(), charts->chart1()->width(), charts->chart1()->height(),
                           charts->chart1()->fonts().metrics());
    const TRampChartLayout a = charts->chart2()->layout();
    const QString sizes = QString("panel %1, request chart %2, ramp chart %3")
                              .arg(charts->height())
                              .arg(charts->chart1()->height())
                              .arg(charts->chart2()->height());
    QVERIFY2(r.plotted, qPrintable(sizes));
    QVERIFY2(a.plotted, qPrintable(sizes));
    QVERIFY(r.note.text.empty() && a.note.text.empty());
    // The foot lines keep every word meanwhile.
    QVERIFY(!r.footcut);
    // Both charts sit inside the panel, one above the other.
    QVERIFY(charts->chart1()->geometry().bottom() < charts->chart2()->geometry().top());
    QVERIFY(charts->chart2()->geometry().bottom() <= charts->height());
  }

  void testLongStatusListingKeepsTheWindowSize() {
    TTargetServer target;
    TTempDir work;
    QVERIFY(chdir(work.path().c_str()) == 0);
    TUvQtBridge bridge(TEventLoop::Default());
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-layout")});
    form.resize(565, 784);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    TWindowHost host(form);
    host.engine().setoutputdir(work.path());
    bool ended = false;
    host.onended = [&](bool) { ended = true; };
    const QSize size = form.size(), minimum = form.minimumSize(), hint = form.minimumSizeHint();

    // Nine different status codes in one run.
    QStringList urls;
    for (const char* path : {"/size/10", "/status/201", "/status/302", "/status/400", "/status/401",
                             "/status/403", "/missing", "/status/500", "/status/503"})
      urls << QString::fromStdString(target.url(path));
    list.setlines(urls);
    ui(form).multiurl->click();
    ui(form).SpinEdit1->setValue(18);
    ui(form).Checkshowgraph->setChecked(false);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return ended; }));
    host.sync();
    QCoreApplication::processEvents();

    const QString summary = form.charts()->footLine(0);
    QVERIFY2(summary.count("x\"") == 9, qPrintable(summary));
    QCOMPARE(form.size(), size);
    QCOMPARE(form.minimumSize(), minimum);
    QCOMPARE(form.minimumSizeHint(), hint);
    // The listing is shown inside the chart, wrapped or cut, never wider than it.
    const TRequestChartLayout& l = form.charts()->chart1()->layout();
    const QFontMetricsF fm(form.charts()->chart1()->fonts().text);
    for (const auto& f : l.foot)
      QVERIFY(fm.horizontalAdvance(QString::fromStdString(f.text)) <= l.bounds.width);
    ui(form).singleurl->click();
  }
};

QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
