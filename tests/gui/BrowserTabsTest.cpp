// The browse tab and the download-time tab driven through a scripted browser control: what each
// report of the browser does to the URL field, the trace, the status and time lines and the
// protocol.

#include <QRegularExpression>
#include <QtTest>
#include <thread>

#include "FakeBrowser.h"
#include "GuiSupport.h"
#include "browser/BrowseTab.h"
#include "browser/DownloadTab.h"
#include "results/Clock.h"

namespace {

struct TBrowseRig {
  TFakeBrowser* browser = new TFakeBrowser;
  TBrowseTab tab{std::unique_ptr<TBrowserControl>(browser)};
  QStringList traced;
  TBrowseRig() {
    tab.ontrace = [this](const QString& url) { traced << url; };
  }
};

struct TDownloadRig {
  TFakeBrowser* browser = new TFakeBrowser;
  TDownloadTab tab{std::unique_ptr<TBrowserControl>(browser)};
  TDownloadRig() {
    tab.timestamp = [] { return std::string("12:00:00"); };
  }
  QStringList protocol() const { return tab.Memo3->toPlainText().split('\n'); }
};

// "Time: N msec ..." -> N, or -1 when the line has another shape.
int timeof(const QString& line) {
  const auto m = QRegularExpression("^Time: (\\d+) msec").match(line);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}  // namespace

class BrowserTabsTest : public QObject {
  Q_OBJECT
 private slots:
  void goToUrlNavigatesAndRejectionsAreReportedInTheStatusLine() {
    TBrowseRig rig;
    rig.tab.url1->setText("http://127.0.0.1:1/a");
    QTest::mouseClick(rig.tab.gotobutton, Qt::LeftButton);
    QCOMPARE(rig.browser->calls, QStringList{"Navigate http://127.0.0.1:1/a"});

    rig.browser->reject = "The protocol \"gopher\" is not supported";
    rig.tab.url1->setText("gopher://x");
    rig.tab.Label15->setText("Status: Done");
    QTest::mouseClick(rig.tab.gotobutton, Qt::LeftButton);
    QCOMPARE(
        rig.tab.Label15->text(),
        QString("Unable to navigate to gopher://x. The protocol \"gopher\" is not supported."));
    QCOMPARE(rig.browser->calls.size(), 1);
  }

  void backWithoutHistoryShowsTheErrorAndStopStops() {
    TBrowseRig rig;
    TBoxAnswerer answer;
    QTest::mouseClick(rig.tab.Backbutton, Qt::LeftButton);
    QCOMPARE(answer.seen, 1);
    QCOMPARE(answer.text, QString("There is no previous page to go back to"));
    rig.browser->history = 1;
    QTest::mouseClick(rig.tab.Backbutton, Qt::LeftButton);
    QTest::mouseClick(rig.tab.stopbutton, Qt::LeftButton);
    QCOMPARE(rig.browser->calls, (QStringList{"GoBack", "Stop"}));
    QCOMPARE(answer.seen, 1);
  }

  void everyNavigationBecomesTheUrlAndIsTracedOnlyWhenAsked() {
    TBrowseRig rig;
    QVERIFY(!rig.tab.trace->isChecked());
    QVERIFY(!rig.browser->beforenavigate("http://h/one"));
    QCOMPARE(rig.tab.url1->text(), QString("http://h/one"));
    QVERIFY(rig.traced.isEmpty());

    // Frames and repeats are traced as they come: no filtering, no duplicate check.
    rig.tab.trace->setChecked(true);
    const QStringList visit{"http://h/frames", "http://h/left", "http://h/right", "http://h/left"};
    for (const QString& url : visit) QVERIFY(!rig.browser->beforenavigate(url));
    QCOMPARE(rig.traced, visit);
    QCOMPARE(rig.tab.url1->text(), QString("http://h/left"));

    rig.browser->status("Opening page http://h/left");
    QCOMPARE(rig.tab.Label15->text(), QString("Status: Opening page http://h/left"));
  }

  void bothStepsWriteTheProtocolInOrder() {
    TDownloadRig rig;
    rig.tab.Edit2->setText("http://h/page");
    QTest::mouseClick(rig.tab.Button6, Qt::LeftButton);
    QCOMPARE(rig.tab.Label11->text(), QString("Time: 0ms"));
    QCOMPARE(rig.tab.Label12->text(), QString("Status:"));
    QVERIFY(rig.tab.reloadpending);
    QCOMPARE(rig.browser->calls, QStringList{"Navigate http://h/page"});

    auto& b = *rig.browser;
    b.begin();
    b.status("Opening page http://h/page");
    b.status("Opening page http://h/page");  // a repeat is dropped
    b.status("http://h/link");               // a bare URL is dropped
    b.status("HTTP://h/link");
    b.status("");
    b.progress(50, 100);  // step 1: the time line ignores progress
    QCOMPARE(rig.tab.Label11->text(), QString("Time: 0ms"));
    b.downloadcomplete();
    QVERIFY(timeof(rig.tab.Label11->text()) >= 0);
    b.documentcomplete();
    QVERIFY(!rig.tab.reloadpending);
    QCOMPARE(b.calls.last(), QString("Refresh2 3"));

    b.begin();
    b.status("Downloading picture http://h/p.png");
    b.progress(30, 100);
    QVERIFY(rig.tab.Label11->text().endsWith(" msec (HTML is 30% done)"));
    b.progress(5, 0);
    QVERIFY(rig.tab.Label11->text().endsWith(" msec "));
    b.downloadcomplete();
    b.documentcomplete();  // only the first document-complete starts step 2
    b.downloadcomplete();
    QCOMPARE(b.calls.count("Refresh2 3"), 1);

    const QStringList p = rig.protocol();
    QCOMPARE(p.size(), 7);
    QCOMPARE(p[0], QString("12:00:00: Initializing web browser control.... DONE"));
    QCOMPARE(
        p[1],
        QString("12:00:00: STEP 1: Load the page the first time (from server or local cache)"));
    QVERIFY(QRegularExpression("^12:00:00: Loading from local browser cache: \\d+ msec: "
                               "Opening page http://h/page$")
                .match(p[2])
                .hasMatch());
    QCOMPARE(p[3], QString("12:00:00: STEP 2: Reload complete page without caches"));
    QVERIFY(QRegularExpression("^12:00:00: Loading from server: \\d+ msec: Downloading picture "
                               "http://h/p.png$")
                .match(p[4])
                .hasMatch());
    for (int i : {5, 6})
      QVERIFY(QRegularExpression(
                  "^12:00:00: \\d+ msec: Download From Remote Server Complete, step 2 done$")
                  .match(p[i])
                  .hasMatch());
    QCOMPARE(rig.tab.Label12->text(), QString("Status: Downloading picture http://h/p.png"));
  }

  void offlineBrowserWritesNoStatusLines() {
    TDownloadRig rig;
    rig.browser->offline = true;
    rig.tab.StartLoad();
    rig.browser->status("Opening page http://h/");
    rig.browser->documentcomplete();
    rig.browser->status("Done");
    rig.browser->downloadcomplete();
    const QStringList p = rig.protocol();
    QCOMPARE(p.size(), 4);
    QVERIFY(p[2].endsWith("STEP 2: Reload complete page without caches"));
    QVERIFY(p[3].endsWith("step 2 done"));
    QCOMPARE(rig.tab.Label12->text(), QString("Status: Done"));
  }

  void abortEmptiesTheTimeLineAndLateReportsKeepIt() {
    TDownloadRig rig;
    rig.tab.StartLoad();
    rig.browser->documentcomplete();
    rig.browser->progress(10, 100);
    QTest::mouseClick(rig.tab.Button7, Qt::LeftButton);
    QCOMPARE(rig.browser->calls.last(), QString("Stop"));
    QCOMPARE(rig.tab.Label11->text(), QString());
    QCOMPARE(rig.tab.Label12->text(), QString("Status: Canceled"));
    // The engine reports the stopped load after the abort returned.
    rig.browser->status("Stopped");
    rig.browser->downloadcomplete();
    QCOMPARE(rig.tab.Label11->text(), QString());
    QCOMPARE(rig.tab.Label12->text(), QString("Status: Canceled"));
    QCOMPARE(rig.protocol().size(), 3);
    // The measurement state stays as it was; a new load is reported again.
    QVERIFY(rig.tab.reloadstart >= 0 && !rig.tab.reloadpending);
    rig.browser->begin();
    rig.browser->status("Opening page http://h/next");
    QCOMPARE(rig.tab.Label12->text(), QString("Status: Opening page http://h/next"));
  }

  void aNewStartRestartsClockAndProtocolAndALoadTestDoesNot() {
    TDownloadRig rig;
    rig.tab.StartLoad();
    rig.browser->documentcomplete();
    rig.browser->downloadcomplete();
    QCOMPARE(rig.protocol().size(), 4);

    rig.tab.StartLoad();
    QCOMPARE(rig.protocol().size(), 2);
    QVERIFY(rig.tab.reloadpending);
    QCOMPARE(rig.tab.reloadstart, 0);
    // A load test starting meanwhile takes a new test clock; the measurement keeps its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    startclock();
    rig.browser->downloadcomplete();
    QVERIFY2(timeof(rig.tab.Label11->text()) >= 40, qPrintable(rig.tab.Label11->text()));
  }

  void aRejectedUrlIsReportedInTheTimeLine() {
    TDownloadRig rig;
    rig.browser->reject = "No address was given";
    rig.tab.StartLoad();
    QCOMPARE(rig.tab.Label11->text(), QString("Unable to navigate to . No address was given."));
  }
};

QTEST_MAIN(BrowserTabsTest)
#include "BrowserTabsTest.moc"
