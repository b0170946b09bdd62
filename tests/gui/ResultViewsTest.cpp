// The result views: the agent list, the log views mirroring the model in batches, and the
// charts' series, colours, labels, scaling and copy.

#include <QClipboard>
#include <QComboBox>
#include <QTextBlock>
#include <QtTest>
#include <algorithm>
#include <set>

#include "GuiSupport.h"
#include "gui/AgentList.h"
#include "gui/HttpAsy1.h"
#include "gui/urllistwindow.h"
#include "support/TestSupport.h"

class ResultViewsTest : public QObject {
  Q_OBJECT
 private slots:
  void testAgentList() {
    const std::vector<std::pair<std::string, size_t>> expected = {
        {"* IE 1.5 *", 2},
        {"* IE 2.0 *", 17},
        {"* IE 3.0 *", 37},
        {"* IE 4.0 *", 12},
        {"* IE 5.0 *", 4},
        {"* Microsoft Pocket Internet Explorer/0.6 *", 1},
        {"* Netscape 4.00 *", 5},
        {"* Netscape 3.01 *", 25},
        {"* Netscape 3.0 \xC3\x9C", 98},
        {"* Netscape 2.0 *", 49},
        {"* Oracle 1.5 *", 1}};
    const auto& groups = agentgroups();
    QCOMPARE(groups.size(), expected.size());
    for (size_t i = 0; i < groups.size(); ++i) {
      QCOMPARE(groups[i].heading, expected[i].first);
      QCOMPARE(groups[i].agents.size(), expected[i].second);
      const std::set<std::string> distinct(groups[i].agents.begin(), groups[i].agents.end());
      QCOMPARE(distinct.size(), groups[i].agents.size());
      for (const auto& a : groups[i].agents) QVERIFY(!a.empty() && a[0] != '*');
    }
    const auto lines = agentlines();
    QCOMPARE(lines.size(), size_t(272));
    QCOMPARE(lines[0], std::string("* IE 1.5 *"));
    QCOMPARE(lines[3], std::string());
    QCOMPARE(lines[4], std::string("* IE 2.0 *"));
    QCOMPARE(lines.back(),
             std::string("Mozilla/2.01 (Compatible) Oracle(tm) PowerBrowser(tm)/1.0a"));
    QVERIFY(std::find(lines.begin(), lines.end(),
                      "Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)") != lines.end());
    QVERIFY(std::find(lines.begin(), lines.end(), "Mozilla/4.0b2 (WinNT; I)") != lines.end());

    // The combo box offers exactly these lines and starts empty.
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-views")});
    auto* agent = control<QComboBox>(&form, "agent");
    QCOMPARE(agent->count(), 272);
    for (int i = 0; i < agent->count(); ++i)
      QCOMPARE(agent->itemText(i).toStdString(), lines[size_t(i)]);
    QVERIFY(agent->currentText().isEmpty());
  }

  void testLogViewsMirrorInBatches() {
    TLogModel model;
    QPlainTextEdit log;
    QTextEdit results;
    TLogMirror mirror(model, &log, &results, 10);
    int changes = 0;
    connect(log.document(), &QTextDocument::contentsChange, [&] { ++changes; });
    for (int i = 0; i < 20000; ++i) model.log("request " + std::to_string(i));
    model.logdatared("Results of run 1");
    model.logdatabold("Average");
    model.logdata("plain");
    QTRY_COMPARE(log.blockCount(), 20000);
    // One widget update for the whole batch, not one per line.
    QCOMPARE(changes, 1);
    QVERIFY(log.document()->lastBlock().text().endsWith(": request 19999"));
    QVERIFY(log.document()->firstBlock().text().endsWith(": request 0"));

    QTRY_COMPARE(results.document()->blockCount(), 4);
    const QTextDocument* d = results.document();
    QCOMPARE(d->findBlockByNumber(0).text(), QString("Results of run 1"));
    const QTextCharFormat red = d->findBlockByNumber(0).begin().fragment().charFormat();
    QCOMPARE(red.fontWeight(), int(QFont::Bold));
    QCOMPARE(red.foreground().color(), results.palette().color(QPalette::Highlight));
    const QTextCharFormat bold = d->findBlockByNumber(1).begin().fragment().charFormat();
    QCOMPARE(bold.fontWeight(), int(QFont::Bold));
    QVERIFY(bold.foreground().color() != results.palette().color(QPalette::Highlight));
    const QTextCharFormat plain = d->findBlockByNumber(2).begin().fragment().charFormat();
    QVERIFY(plain.fontWeight() != int(QFont::Bold));
    QCOMPARE(d->findBlockByNumber(3).text(), QString(" "));

    // A cleared model (a new test) starts the views afresh.
    model.clear();
    model.log("second test");
    model.logdatanocr("only line");
    QTRY_COMPARE(log.blockCount(), 1);
    QVERIFY(log.toPlainText().endsWith(": second test"));
    QTRY_COMPARE(results.toPlainText(), QString("only line"));
  }

  void testRequestPointsBySeries() {
    TResultCharts charts;
    std::vector<TRequestPoint> batch;
    for (int i = 0; i < 20000; ++i) batch.push_back({double(i), double(i % 700), 200});
    batch.push_back({20001, 900, 0});
    batch.push_back({20002, 50, 404});
    batch.push_back({20003, 60, 404});
    batch.push_back({25000, 70, 302});
    charts.addRequestPoints(batch);
    QCOMPARE(charts.requestpointcount(), 20004);
    QCOMPARE(charts.requestpointcount(200), 20000);
    QCOMPARE(charts.requestseries(200)->color(), QColor(0, 128, 0));
    QCOMPARE(charts.requestseries(0)->color(), QColor(Qt::black));
    QCOMPARE(charts.requestseries(0)->name(), QString("TimeOut"));
    QCOMPARE(charts.requestpointcount(404), 2);
    QCOMPARE(charts.requestseries(404)->color(), QColor(255, 0, 0));
    QCOMPARE(charts.requestseries(404)->name(), QString("E404"));
    QCOMPARE(charts.requestseries(302)->name(), QString("E302"));
    QVERIFY(!charts.requestseries(500));
    // Both axes start at 0 and reach past the largest value.
    auto axes = charts.chart1()->chart()->axes();
    for (auto* a : axes) {
      auto* v = qobject_cast<QValueAxis*>(a);
      QCOMPARE(v->min(), 0.0);
      QVERIFY(v->max() >= (a->orientation() == Qt::Horizontal ? 25000 : 900));
    }
    charts.addRequestPoints({{26000, 1, 200}});
    QCOMPARE(charts.requestpointcount(200), 20001);
    charts.clear();
    QCOMPARE(charts.requestpointcount(), 0);
  }

  void testRampPointsAndTitles() {
    TResultCharts charts;
    charts.setChart1Title("Ramp test: http://127.0.0.1/");
    charts.setChart2Title("Ramp test: http://127.0.0.1/");
    for (int step = 1; step <= 4; ++step)
      charts.addRampPoint(step * 5, 10.0 * step, step == 4 ? "25% Errors" : "ok", 20.0 * step);
    QCOMPARE(charts.ramps()->count(), 4);
    QCOMPARE(charts.ramps3()->at(3), QPointF(20, 80));
    QCOMPARE(charts.ramps()->at(0), QPointF(5, 10));
    QCOMPARE(charts.ramps3()->color(), QColor(0, 64, 0));
    QCOMPARE(charts.chart2Title(), QString("Ramp test: http://127.0.0.1/"));
    QStringList marks;
    for (auto* item : charts.chart2()->chart()->childItems())
      if (auto* t = dynamic_cast<QGraphicsSimpleTextItem*>(item)) marks << t->text();
    QCOMPARE(marks, QStringList({"ok", "ok", "ok", "25% Errors"}));
    charts.clearramps();
    QCOMPARE(charts.ramps()->count(), 0);
  }

  void testFootLinesAndCopy() {
    TResultCharts charts;
    charts.resize(500, 400);
    charts.show();
    QVERIFY(QTest::qWaitForWindowExposed(&charts));
    charts.setFootLine(0, "green=ok, red=error, black=timeout");
    charts.setFootLine(1, "5 simultaneous users");
    charts.setFootLine(4, "ignored");
    QCOMPARE(charts.footLine(1), QString("5 simultaneous users"));
    QVERIFY(charts.footLine(4).isEmpty());
    auto* foot = charts.chart1()->findChild<QLabel*>("Chart1Foot");
    QVERIFY(foot->text().contains("green=ok, red=error, black=timeout\n5 simultaneous users"));

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

    QStringList menu;
    for (auto* a : charts.chart1()->view()->actions()) menu << a->text();
    QCOMPARE(menu, QStringList({"Print Graph", "Copy Graph"}));
  }
};

QTEST_MAIN(ResultViewsTest)
#include "ResultViewsTest.moc"
