// Renders every main tab and every result tab of the real window after a real load test against
// pressbolt-target, checks that each shows something of its own, and, when PRESSBOLT_SCREENSHOTS
// names a directory, saves them there as PNG files (the pictures of the README).

#include <unistd.h>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

#include <set>

#include "FormControls.h"
#include "GuiSupport.h"
#include "browser/BrowseTab.h"
#include "browser/DownloadTab.h"
#include "browser/FirstResponseView.h"
#include "browser/WebEngineBrowser.h"
#include "gui/HttpAsy1.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

bool waitfor(const std::function<bool()>& cond) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

// Runs Qt's loop (which drives the network) until the test has ended.
bool runtoend(bool& ended) {
  QElapsedTimer t;
  t.start();
  while (!ended && t.elapsed() < 120000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return ended;
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT
 private slots:
  void testEveryTabRenders() {
    TTargetServer target;
    TTempDir work;
    QVERIFY(chdir(work.path().c_str()) == 0);
    TUvQtBridge bridge(TEventLoop::Default());
    const QString argv0 = QDir::temp().filePath("pressbolt-screens");
    std::remove(settingspath(argv0.toStdString()).c_str());
    Turllistwin list;
    THttpAsyForm form(list, {argv0, QString::fromStdString(target.url("/"))});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TWindowHost host(form);
    host.engine().setoutputdir(work.path());
    bool ended = false;
    host.onended = [&](bool) { ended = true; };

    // Two runs of 200 users over three URLs, one of them missing: green and red points.
    control<QCheckBox>(&form, "useagent")->click();
    control<QComboBox>(&form, "agent")
        ->setEditText("Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)");
    control<QSpinBox>(&form, "SpinEdit1")->setValue(200);
    control<QSpinBox>(&form, "SpinEdit2")->setValue(2);
    control<QSpinBox>(&form, "SpinEdit3")->setValue(1);
    control<QRadioButton>(&form, "multiurl")->click();
    list.setlines({QString::fromStdString(target.url("/")),
                   QString::fromStdString(target.url("/size/2000")),
                   QString::fromStdString(target.url("/missing"))});
    QVERIFY(list.isVisible());
    const QString dir = qEnvironmentVariable("PRESSBOLT_SCREENSHOTS");
    const QImage urls = list.grab().toImage();
    QCOMPARE(urls.size(), list.size());
    if (!dir.isEmpty()) QVERIFY(urls.save(QDir(dir).filePath("urllist.png")));

    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(runtoend(ended));
    form.synclogviews();
    host.sync();
    QCOMPARE(form.charts()->requestpointcount(), 400);

    std::set<qint64> seen;
    auto shoot = [&](const QString& name) {
      // A web view that was hidden while its page loaded draws it once it is shown.
      QTest::qWait(400);
      const QImage img = form.grab().toImage();
      QVERIFY(!img.isNull());
      QCOMPARE(img.size() / img.devicePixelRatio(), form.size());
      // Each picture shows a view of its own.
      QVERIFY2(seen.insert(img.cacheKey() ^ qHashBits(img.constBits(), img.sizeInBytes())).second,
               qPrintable(name));
      if (!dir.isEmpty()) QVERIFY(img.save(QDir(dir).filePath(name + ".png")));
    };
    // The browser tabs show pages of the target: a frameset browsed to, and a page with
    // pictures whose download time was measured.
    bool browsed = false;
    ui(form).browsetab->browser().OnDocumentComplete = [&] { browsed = true; };
    ui(form).url1->setText(QString::fromStdString(target.url("/frames")));
    ui(form).browsetab->gotobuttonClick();
    QVERIFY(waitfor([&] { return browsed; }));
    ui(form).Edit2->setText(QString::fromStdString(target.url("/pictures?n=4&slow=200")));
    ui(form).downloadtab->StartLoad();
    QVERIFY(waitfor(
        [&] { return ui(form).downloadtab->Memo3->toPlainText().contains("step 2 done"); }));
    const QStringList main = {"main-1-browse", "main-2-loadtest", "main-3-downloadtime"};
    for (int i = 0; i < ui(form).PageControl2->count(); ++i) {
      ui(form).PageControl2->setCurrentIndex(i);
      shoot(main[i]);
    }
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    // The first response's view has loaded temp.htm.
    auto& firstresponse = static_cast<TWebEngineBrowser&>(ui(form).WebBrowser_V11->browser());
    QVERIFY(waitfor([&] { return firstresponse.view()->title() == "pressbolt-target"; }));
    const QStringList results = {"result-1-graph",   "result-2-results", "result-3-log",
                                 "result-4-browser", "result-5-source",  "result-6-headers"};
    for (int i = 1; i < ui(form).PageControl1->count(); ++i) {
      ui(form).PageControl1->setCurrentIndex(i);
      shoot(results[i]);
    }
    ui(form).PageControl1->setCurrentIndex(0);

    // A ramp test of up to 400 users in 4 steps, both charts at the window's designed size.
    ended = false;
    control<QRadioButton>(&form, "singleurl")->click();
    ui(form).URLEdit->setText(QString::fromStdString(target.url("/size/2000")));
    control<QSpinBox>(&form, "SpinEdit1")->setValue(400);
    control<QSpinBox>(&form, "SpinEdit2")->setValue(4);
    control<QSpinBox>(&form, "SpinEdit3")->setValue(0);
    control<QCheckBox>(&form, "Ramp")->click();
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(runtoend(ended));
    host.sync();
    QCOMPARE(form.size(), QSize(565, 784));
    shoot("result-1-graph-ramp");
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "ScreenshotsTest.moc"
