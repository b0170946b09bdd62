// "Start Test" pressed in the real window against pressbolt-target: the views, the chart points
// with their colours and labels, the foot lines and the log files.

#include <unistd.h>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest>

#include "FormControls.h"
#include "gui/HttpAsy1.h"
#include "gui/ResultCharts.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

bool waitfor(const std::function<bool()>& cond, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return cond();
}

// The real window with its engine host, a target server and a working directory.
struct TWindowRig {
  TTargetServer target;
  TTempDir dir;
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-starttest"}};
  TWindowHost host{form};
  TWindowRig() { form.show(); }
};

}  // namespace

class StartTestTest : public QObject {
  Q_OBJECT
 private slots:
  void startRunsATestToItsEnd() {
    TWindowRig rig;
    QVERIFY(chdir(rig.dir.path().c_str()) == 0);
    rig.host.engine().setoutputdir(rig.dir.path());
    TTargetServer& target = rig.target;
    TTempDir& dir = rig.dir;
    Turllistwin& urls = rig.urls;
    THttpAsyForm& form = rig.form;
    TWindowHost& host = rig.host;
    std::vector<std::string> dialogs;
    host.dialoghook = [&](const std::string& t) { dialogs.push_back(t); };
    bool ended = false, finished = false;
    host.onended = [&](bool f) {
      ended = true;
      finished = f;
    };

    // Five users of which the multiple-URL list sends two to a missing page.
    ui(form).multiurl->click();
    urls.urllist()->setPlainText(QString::fromStdString(
        target.url("/size/50") + "\n" + target.url("/missing") + "\n" + target.url("/size/50")));
    ui(form).SpinEdit1->setValue(5);
    ui(form).SpinEdit2->setValue(2);
    ui(form).Checkshowgraph->setChecked(false);
    QVERIFY(ui(form).ExecButton->isEnabled());
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return ended; }));
    QVERIFY(finished);
    QVERIFY(dialogs.empty());
    form.synclogviews();
    host.sync();

    // Ten points: green for the 200s, red "E404" for the missing page.
    TResultCharts* charts = form.charts();
    QCOMPARE(charts->requestpointcount(), 10);
    QCOMPARE(charts->requestpointcount(200), 6);
    QCOMPARE(charts->requestpointcount(404), 4);
    QCOMPARE(TResultCharts::pointcolour(200), QColor(0, 128, 0));
    QCOMPARE(TResultCharts::pointlabel(404), QString("E404"));
    QCOMPARE(charts->chart1Title(), QString("Load test: (multiple URLs)"));
    QCOMPARE(charts->footLine(0),
             QString("Resulting statuscodes: 3x\"200\" (=OK), 2x\"404\" (=Not Found), "));
    QCOMPARE(charts->footLine(1), QString("5 simultaneous users - 2 runs"));
    QVERIFY(charts->footLine(2).startsWith("  Average Request Processing Time after 2 runs: "));
    QVERIFY(charts->footLine(3).startsWith("  Average User Wait Time: "));

    // The Log view was not shown during the test: it opens at its left edge, time stamps in sight.
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    ui(form).PageControl1->setCurrentWidget(ui(form).DisplayMemo);
    QCoreApplication::processEvents();
    QCOMPARE(ui(form).DisplayMemo->horizontalScrollBar()->value(), 0);
    QVERIFY(ui(form).DisplayMemo->horizontalScrollBar()->maximum() > 0);

    // The views mirror the model; the first response is shown; the files are written.
    QVERIFY(ui(form).DisplayMemo->toPlainText().contains("Saving detailed log to"));
    QVERIFY(ui(form).datamemo->toPlainText().contains("Glossary:"));
    QVERIFY(ui(form).Memo1->toPlainText().startsWith("HTML Source (52 Bytes)"));
    QVERIFY(ui(form).Memo2->toPlainText().startsWith("HTTP/1.0 200 OK"));
    QVERIFY(readfile(dir.file("Pressbolt Results.log")).find("Glossary:") != std::string::npos);
    QVERIFY(readfile(dir.file("Pressbolt Detailed Results.log")).find("START RUN: 2") !=
            std::string::npos);
    QVERIFY(ui(form).ExecButton->isEnabled());
    ui(form).multiurl->setChecked(false);
    ui(form).singleurl->click();
  }

  // The options read for every request and header line are the same controls, read as freshly,
  // as the whole snapshot.
  void requestOptionsFollowTheCheckBoxes() {
    TWindowRig rig;
    QCheckBox* boxes[] = {ui(rig.form).HeaderCheckBox, ui(rig.form).DataCheckBox,
                          ui(rig.form).onerroronlyCheckBox, ui(rig.form).Checkcookie};
    for (int mask = 0; mask < 16; ++mask) {
      for (int i = 0; i < 4; ++i) boxes[i]->setChecked((mask >> i & 1) != 0);
      const TestSettings s = rig.host.settings();
      const TRequestOptions o = rig.host.requestoptions();
      QCOMPARE(o.writeheaders, s.writeheaders);
      QCOMPARE(o.writedata, s.writedata);
      QCOMPARE(o.onerroronly, s.onerroronly);
      QCOMPARE(o.preservecookies, s.preservecookies);
      QCOMPARE(o.writeheaders, (mask & 1) != 0);
      QCOMPARE(o.preservecookies, (mask & 8) != 0);
    }
  }

  void abortEndsAHangingRun() {
    TWindowRig rig;
    QVERIFY(chdir(rig.dir.path().c_str()) == 0);
    rig.host.engine().setoutputdir(rig.dir.path());
    TTargetServer& target = rig.target;
    THttpAsyForm& form = rig.form;
    TWindowHost& host = rig.host;
    bool ended = false;
    host.onended = [&](bool) { ended = true; };
    ui(form).URLEdit->setText(QString::fromStdString(target.url("/hang")));
    ui(form).SpinEdit1->setValue(20);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(!ui(form).ExecButton->isEnabled());
    QTimer::singleShot(300, [&] { QTest::mouseClick(ui(form).AbortButton, Qt::LeftButton); });
    QVERIFY(waitfor([&] { return ended; }));
    host.sync();
    QCOMPARE(form.charts()->requestpointcount(), 20);
    QCOMPARE(form.charts()->requestpointcount(404), 20);
    QVERIFY(ui(form).ExecButton->isEnabled());
  }
};

QTEST_MAIN(StartTestTest)
#include "StartTestTest.moc"
