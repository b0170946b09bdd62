// "Save Results…" and "Open Results…" in the real window: a test against pressbolt-target saved,
// opened and saved again, shown and printed as an opened result, and a result the window cannot
// read refused with its views left as they were.

#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "FormControls.h"
#include "gui/HttpAsy1.h"
#include "gui/PrintReport.h"
#include "gui/RampChart.h"
#include "gui/ResultCharts.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "report/StoredResult.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

bool waitfor(const std::function<bool()>& cond, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

struct TResultsRig {
  TTargetServer target;
  TTempDir dir;
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-resultsfile"}};
  TWindowHost host{form};
  std::vector<std::string> dialogs;

  TResultsRig() {
    QVERIFY(chdir(dir.path().c_str()) == 0);
    host.engine().setoutputdir(dir.path());
    host.dialoghook = [this](const std::string& t) { dialogs.push_back(t); };
    form.show();
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
  }
  // Users against a page and a missing one, so both kinds of point and figure are there.
  bool runtest(bool ramp) {
    ui(form).multiurl->click();
    urls.setlines({QString::fromStdString(target.url("/size/100")),
                   QString::fromStdString(target.url("/missing"))});
    ui(form).SpinEdit1->setValue(6);
    ui(form).SpinEdit2->setValue(2);
    ui(form).Checkshowgraph->setChecked(false);
    ui(form).Ramp->setChecked(ramp);
    bool ended = false;
    host.onended = [&](bool) { ended = true; };
    ui(form).ExecButton->click();
    if (!waitfor([&] { return ended; })) return false;
    host.sync();
    form.synclogviews();
    return true;
  }
  QString resultstext() const { return ui(form).datamemo->toPlainText(); }
  bool ramponscreen() const { return !form.charts()->chart2()->isHidden(); }
};

TStoredResult stored(const std::string& path) {
  TStoredResult r;
  std::string error;
  if (!readstoredresult(path, r, error)) qWarning("%s", error.c_str());
  return r;
}

void samefigures(const TRunFigures& a, const TRunFigures& b) {
  QCOMPARE(a.run, b.run);
  QCOMPARE(a.users, b.users);
  QCOMPARE(a.requests, b.requests);
  QCOMPARE(a.errors, b.errors);
  QCOMPARE(a.errorrate, b.errorrate);
  QCOMPARE(a.avgwait, b.avgwait);
  QCOMPARE(a.requestsperhour, b.requestsperhour);
  QCOMPARE(a.overallms, b.overallms);
  QCOMPARE(a.wait.median, b.wait.median);
  QCOMPARE(a.wait.p99, b.wait.p99);
  QCOMPARE(a.bytes, b.bytes);
}

}  // namespace

class ResultsFileTest : public QObject {
  Q_OBJECT
 private slots:
  void savedTestOpensShowsPrintsAndSavesTheSameFigures() {
    TResultsRig rig;
    THttpAsyForm& form = rig.form;
    const std::string first = rig.dir.file("first.json"), again = rig.dir.file("again.json");

    // Nothing to save before a test; the buttons stand beside "Print Report".
    QVERIFY(!rig.host.saveresults(first));
    QCOMPARE(rig.dialogs.size(), size_t(1));
    QVERIFY(!QFile::exists(QString::fromStdString(first)));
    QCOMPARE(ui(form).OpenResultsButton->parentWidget(), ui(form).Button2->parentWidget());
    QCOMPARE(ui(form).OpenResultsButton->y(), ui(form).Button2->y());
    QCOMPARE(ui(form).SaveResultsButton->y(), ui(form).Button2->y());

    QVERIFY(rig.runtest(true));
    const int points = form.charts()->requestpointcount();
    const int missing = form.charts()->requestpointcount(404);
    QCOMPARE(points, 3 + 6);  // the ramp's runs: 3 users, then 6
    QVERIFY(missing > 0);
    QVERIFY(rig.host.saveresults(first));
    QVERIFY(readfile(first).find("\"program\": \"pressbolt 4") != std::string::npos);
    const TStoredResult saved = stored(first);
    QCOMPARE(saved.records.requests(), size_t(points));
    QVERIFY(saved.info.settings.ramptest);
    QVERIFY(rig.host.openedpath().empty());

    // Opened with the Ramp-Test option off and another test's settings in the form: what shows
    // is the file's.
    ui(form).Ramp->setChecked(false);
    QVERIFY(rig.ramponscreen());  // the ramp result on screen keeps its chart
    QVERIFY(rig.host.openresults(first));
    QVERIFY(rig.dialogs.size() == 1);
    form.synclogviews();
    QCOMPARE(rig.host.openedpath(), first);
    QCOMPARE(form.charts()->requestpointcount(), points);
    QCOMPARE(form.charts()->requestpointcount(404), missing);
    QVERIFY(rig.ramponscreen());
    QVERIFY(form.statustext().contains("first.json"));
    const QString text = rig.resultstext();
    QVERIFY(text.contains("Results of run 2"));
    const TTestReport report = form.testreport();
    QVERIFY(report.ramp);
    QCOMPARE(report.openedfrom, first);
    QVERIFY(!report.results.empty());

    // Printed, the title band says where the result came from.
    const QString pdf = QString::fromStdString(rig.dir.file("opened.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    preparereportprinter(printer);
    QVERIFY(printreport(makereport(report, form), printer) >= 1);
    QProcess p;
    p.start("pdftotext", {"-layout", "-f", "1", "-l", "1", pdf, "-"});
    QVERIFY(p.waitForFinished(60000));
    const QString page = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(page.contains("Results opened from"), qPrintable(page));
    QVERIFY(page.contains("Number Of Simultaneous Users"));  // the ramp chart

    // Saved again: the same test with the same figures, run by run.
    QVERIFY(rig.host.saveresults(again));
    const TStoredResult resaved = stored(again);
    QCOMPARE(resaved.info.testid, saved.info.testid);
    QCOMPARE(resaved.records.requests(), saved.records.requests());
    QCOMPARE(resaved.figures.runs.size(), saved.figures.runs.size());
    for (size_t k = 0; k < saved.figures.runs.size(); ++k)
      samefigures(resaved.figures.runs[k], saved.figures.runs[k]);
    samefigures(resaved.figures.totals, saved.figures.totals);
    QCOMPARE(QString::fromStdString(readfile(again)), QString::fromStdString(readfile(first)));

    // A new test replaces the opened result, and is saved as itself.
    QVERIFY(rig.runtest(false));
    QVERIFY(rig.host.openedpath().empty());
    QVERIFY(form.testreport().openedfrom.empty());
    QVERIFY(!form.statustext().contains("first.json"));
    QVERIFY(!rig.ramponscreen());
    QCOMPARE(form.charts()->requestpointcount(), 12);
    QVERIFY(rig.host.saveresults(again));
    QCOMPARE(stored(again).records.requests(), size_t(12));
    QVERIFY(stored(again).info.testid != saved.info.testid);
    QVERIFY(rig.dialogs.size() == 1);
  }

  void aResultItCannotReadLeavesTheViewsAsTheyWere() {
    TResultsRig rig;
    THttpAsyForm& form = rig.form;
    QVERIFY(rig.runtest(false));
    const std::string saved = rig.dir.file("saved.json");
    QVERIFY(rig.host.saveresults(saved));
    const QString text = rig.resultstext();
    const QString status = form.statustext();
    const int points = form.charts()->requestpointcount();

    std::string json = readfile(saved);
    const std::string format = "\"format\": 1";
    const size_t at = json.find(format);
    QVERIFY(at != std::string::npos);
    const std::string newer = rig.dir.file("newer.json"), broken = rig.dir.file("broken.json");
    writefile(newer, json.substr(0, at) + "\"format\": 2" + json.substr(at + format.size()));
    writefile(broken, json.substr(0, json.size() / 2));

    const std::string missing = rig.dir.file("missing.json");
    rig.dialogs.clear();
    for (const std::string& path : {newer, broken, missing}) {
      QVERIFY(!rig.host.openresults(path));
      form.synclogviews();
      rig.host.sync();
      QCOMPARE(rig.resultstext(), text);
      QCOMPARE(form.statustext(), status);
      QCOMPARE(form.charts()->requestpointcount(), points);
      QVERIFY(rig.host.openedpath().empty());
    }
    QCOMPARE(rig.dialogs.size(), size_t(3));
    QVERIFY2(rig.dialogs[0].find("format 2") != std::string::npos, rig.dialogs[0].c_str());
    QVERIFY(rig.dialogs[2].find("missing.json") != std::string::npos);

    // What is saved is still the test that ran.
    const std::string resaved = rig.dir.file("resaved.json");
    QVERIFY(rig.host.saveresults(resaved));
    QCOMPARE(stored(resaved).info.testid, stored(saved).info.testid);

    // While a test runs, neither its models nor a half-done result are touched.
    ui(form).multiurl->setChecked(false);
    ui(form).singleurl->click();
    ui(form).URLEdit->setText(QString::fromStdString(rig.target.url("/hang")));
    ui(form).SpinEdit1->setValue(2);
    bool ended = false;
    rig.host.onended = [&](bool) { ended = true; };
    ui(form).ExecButton->click();
    QVERIFY(rig.host.holding());
    rig.dialogs.clear();
    QVERIFY(!rig.host.openresults(saved));
    QVERIFY(!rig.host.saveresults(resaved));
    QCOMPARE(rig.dialogs.size(), size_t(2));
    QVERIFY(rig.dialogs[0].find("test is running") != std::string::npos);
    QVERIFY(rig.host.openedpath().empty());
    ui(form).AbortButton->click();
    QVERIFY(waitfor([&] { return ended; }));
    QCOMPARE(stored(resaved).info.testid, stored(saved).info.testid);
  }
};

QTEST_MAIN(ResultsFileTest)
#include "ResultsFileTest.moc"
