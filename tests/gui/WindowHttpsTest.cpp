// An https test run from the window against pressbolt-target with a throwaway self-signed
// certificate: with "Accept any certificate" every request completes and the chart's points
// carry connect and handshake times; without it every request is a counted verification failure
// with its text in the log. Both times the Results header says which trust was in force.

#include <unistd.h>
#include <QElapsedTimer>
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

bool waitfor(const std::function<bool()>& cond, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

}  // namespace

class WindowHttpsTest : public QObject {
  Q_OBJECT
 private slots:
  void testTrustChosenInTheWindowDecidesEveryRequest() {
    TTempDir work;
    TTargetServer target({"--tls-self-signed"}, work.file("target.err"));
    QVERIFY(chdir(work.path().c_str()) == 0);
    TUvQtBridge bridge(TEventLoop::Default());
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-https")});
    form.show();
    TWindowHost host(form);
    host.engine().setoutputdir(work.path());
    host.dialoghook = [](const std::string& text) { qWarning("dialog: %s", text.c_str()); };
    bool ended = false;
    host.onended = [&](bool) { ended = true; };
    std::string url = target.url("/size/100");
    QVERIFY(url.starts_with("http://"));
    url.replace(0, 4, "https");
    ui(form).URLEdit->setText(QString::fromStdString(url));
    ui(form).SpinEdit1->setValue(8);
    ui(form).SpinEdit2->setValue(1);
    ui(form).Checkshowgraph->setChecked(false);
    auto* insecure = form.findChild<QCheckBox*>("insecure");
    QVERIFY(insecure != nullptr);

    insecure->setChecked(true);
    ui(form).ExecButton->click();
    QVERIFY(waitfor([&] { return ended; }));
    host.sync();
    form.synclogviews();
    TResultCharts* charts = form.charts();
    QCOMPARE(charts->requestpointcount(200), 8);
    for (const TChartPoint& p : charts->model().requests()) {
      QVERIFY(p.connect >= 0);
      QVERIFY(p.tls > 0);
    }
    QVERIFY2(ui(form).datamemo->toPlainText().contains(
                 "Settings: https: certificates not checked (insecure)"),
             qPrintable(ui(form).datamemo->toPlainText()));

    insecure->setChecked(false);
    ended = false;
    ui(form).ExecButton->click();
    QVERIFY(waitfor([&] { return ended; }));
    host.sync();
    form.synclogviews();
    QCOMPARE(charts->requestpointcount(), 8);
    QCOMPARE(charts->requestpointcount(200), 0);
    QVERIFY(ui(form).datamemo->toPlainText().contains(
        "Settings: https: certificates checked against the system's store"));
    const QString log = ui(form).DisplayMemo->toPlainText();
    QCOMPARE(log.count("certificate verify failed"), 8);
    // The hover label of a failed request has its connect time and no handshake time.
    const TChartPoint& failed = charts->model().requests().front();
    QVERIFY(failed.connect >= 0);
    QVERIFY(failed.tls < 0);
  }
};

QTEST_MAIN(WindowHttpsTest)
#include "WindowHttpsTest.moc"
