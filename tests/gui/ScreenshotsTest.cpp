// Renders every main tab and every result tab of the real window filled with a plausible test,
// checks that each shows something of its own, and, when PRESSBOLT_SCREENSHOTS names a
// directory, saves them there as PNG files (the pictures of the README).

#include <QComboBox>
#include <QDir>
#include <QtTest>
#include <cmath>
#include <set>

#include "GuiSupport.h"
#include "gui/HttpAsy1.h"
#include "gui/urllistwindow.h"

namespace {

const char* kUrl = "http://127.0.0.1:8080/shop/index.html";

void filllogs(TLogModel& m) {
  m.log("Server Load Test Logfile (by Pressbolt Version 4.4, http://127.0.0.1/)");
  m.logdatared("Server Load Test Results (by Pressbolt Version 4.4, http://127.0.0.1/)");
  m.log(std::string("Tested URL: ") + kUrl);
  m.logdatanocr(std::string("Tested URL: ") + kUrl);
  m.log(" ");
  m.log("Settings: 200 simultaneous users - 2 runs - wait for 5s");
  m.log("Settings: use GET requests");
  m.logdatanocr("Settings: use GET requests");
  m.logdatanocr("Settings: 200 simultaneous users - 2 runs - wait for 5s");
  m.log("Test is starting");
  m.log("----------------------------------------------------");
  m.log("START RUN: 1");
  m.logdatanocr("");
  m.logdatared("Results of run 1");
  for (int i = 1; i <= 40; ++i)
    m.log("Request #" + std::to_string(i) +
          " of run 1 done (Status: " + (i % 13 == 0 ? "404" : "200") +
          ")  User Wait Time: " + std::to_string(120 + i * 7) + " ms");
  m.logdatanocr("Time to first byte: 118 ms");
  m.logdatanocr("200 Requests: 194 x 200 (OK), 6 x 404 (Not Found)");
  m.logdatabold("Average Request Processing Time: 3 ms = 1200000 requests per hour");
  m.logdatabold("Average User Wait Time: 412 ms");
}

void fillcharts(TResultCharts* c) {
  c->setChart1Title(QString("Load test: ") + kUrl);
  c->setChart2Title(QString("Ramp test: ") + kUrl);
  c->setFootLine(0, "200 Requests: 194 x 200 (OK), 6 x 404 (Not Found)");
  c->setFootLine(1, "200 simultaneous users - 2 runs - wait for 5s");
  c->setFootLine(2, "Average Request Processing Time: 3 ms = 1200000 requests per hour");
  c->setFootLine(3, "Average User Wait Time: 412 ms");
  std::vector<TRequestPoint> points;
  for (int run = 0; run < 2; ++run)
    for (int i = 0; i < 200; ++i) {
      const double start = run * 5600.0 + i * 0.9;
      const double wait = 80 + 600 * std::sin(i / 200.0 * 3.1) + (i % 7) * 15;
      const int code = i % 37 == 5 ? 404 : (i == 150 && run == 1 ? 0 : 200);
      points.push_back({start, wait, code});
    }
  c->addRequestPoints(points);
  for (int step = 1; step <= 4; ++step)
    c->addRampPoint(step * 50, 2.0 + step * 0.8, step == 4 ? "3% Errors" : "ok", 100.0 * step + 30);
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT
 private slots:
  void testEveryTabRenders() {
    const QString argv0 = QDir::temp().filePath("pressbolt-screens");
    std::remove(settingspath(argv0.toStdString()).c_str());
    Turllistwin list;
    THttpAsyForm form(list, {argv0, kUrl});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    control<QCheckBox>(&form, "useagent")->click();
    control<QComboBox>(&form, "agent")
        ->setEditText("Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)");
    control<QSpinBox>(&form, "SpinEdit1")->setValue(200);
    control<QSpinBox>(&form, "SpinEdit2")->setValue(2);
    control<QSpinBox>(&form, "SpinEdit3")->setValue(5);
    filllogs(form.logmodel());
    form.synclogviews();
    fillcharts(form.charts());
    form.sourceview()->setPlainText(
        "HTML Source (96 Bytes)\n--------------------------------------------\n<html><head>"
        "<title>Shop</title></head>\n<body><h1>Welcome</h1></body></html>");
    form.headersview()->setPlainText(
        "HTTP/1.0 200 OK\nServer: pressbolt-target\nContent-Type: text/html\n"
        "Content-Length: 96");
    form.setstatustext("Test finished");

    const QString dir = qEnvironmentVariable("PRESSBOLT_SCREENSHOTS");
    std::set<qint64> seen;
    auto shoot = [&](const QString& name) {
      QCoreApplication::processEvents();
      const QImage img = form.grab().toImage();
      QVERIFY(!img.isNull());
      QCOMPARE(img.size() / img.devicePixelRatio(), form.size());
      // Each picture shows a view of its own.
      QVERIFY2(seen.insert(img.cacheKey() ^ qHashBits(img.constBits(), img.sizeInBytes())).second,
               qPrintable(name));
      if (!dir.isEmpty()) QVERIFY(img.save(QDir(dir).filePath(name + ".png")));
    };
    const QStringList main = {"main-1-browse", "main-2-loadtest", "main-3-downloadtime"};
    for (int i = 0; i < form.PageControl2->count(); ++i) {
      form.PageControl2->setCurrentIndex(i);
      shoot(main[i]);
    }
    form.PageControl2->setCurrentWidget(form.TabSheet6);
    const QStringList results = {"result-1-graph",   "result-2-results", "result-3-log",
                                 "result-4-browser", "result-5-source",  "result-6-headers"};
    for (int i = 1; i < form.PageControl1->count(); ++i) {
      form.PageControl1->setCurrentIndex(i);
      shoot(results[i]);
    }
    form.PageControl1->setCurrentIndex(0);
    // Two charts need more room than the window's design size gives them.
    control<QCheckBox>(&form, "Ramp")->click();
    form.resize(760, 1000);
    shoot("result-1-graph-ramp");
    form.resize(565, 784);

    control<QRadioButton>(&form, "multiurl")->click();
    list.setlines({"http://127.0.0.1:8080/shop/index.html", "http://127.0.0.1:8080/shop/cart",
                   "http://127.0.0.1:8080/shop/item?id=@@"});
    QVERIFY(list.isVisible());
    const QImage urls = list.grab().toImage();
    QCOMPARE(urls.size(), list.size());
    if (!dir.isEmpty()) QVERIFY(urls.save(QDir(dir).filePath("urllist.png")));
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "ScreenshotsTest.moc"
