// The browser tools inside the real main window: browsing sets the URL to test, tracing fills
// the multiple-URL list, and the first response's view on the result tabs.

#include <unistd.h>
#include <QElapsedTimer>
#include <QWebEngineView>
#include <QtTest>

#include "FormControls.h"
#include "browser/BrowseTab.h"
#include "browser/DownloadTab.h"
#include "browser/FirstResponseView.h"
#include "browser/WebEngineBrowser.h"
#include "gui/HttpAsy1.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "results/LogFile.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

bool waitfor(const std::function<bool()>& cond, int ms = 30000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

struct TWindowRig {
  TTargetServer target;
  TTempDir dir;
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-browserwindow"}};
  TWindowHost host{form};
  TWindowRig() {
    host.engine().setoutputdir(dir.path());
    form.show();
  }
  QString url(const std::string& path) const { return QString::fromStdString(target.url(path)); }
  TWebEngineBrowser& firstresponse() {
    return static_cast<TWebEngineBrowser&>(ui(form).WebBrowser_V11->browser());
  }
};

}  // namespace

class BrowserWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void browsingSetsTheUrlToTestAndTraceFillsTheList() {
    TWindowRig rig;
    TBrowseTab& tab = *ui(rig.form).browsetab;
    int complete = 0;
    tab.browser().OnDocumentComplete = [&] { ++complete; };

    tab.url1->setText(rig.url("/size/10"));
    tab.gotobuttonClick();
    QVERIFY(waitfor([&] { return complete == 1; }));
    QVERIFY(rig.urls.lines().isEmpty());

    tab.trace->setChecked(true);
    rig.urls.setlines({"http://kept/"});
    tab.url1->setText(rig.url("/frames"));
    tab.gotobuttonClick();
    QVERIFY(waitfor([&] { return complete == 2; }));
    QCOMPARE(rig.urls.lines(), (QStringList{"http://kept/", rig.url("/frames"),
                                            rig.url("/index.html"), rig.url("/pictures?n=2")}));
    QCOMPARE(ui(rig.form).URLEdit->text(), rig.url("/pictures?n=2"));
    QCOMPARE(ui(rig.form).Edit2->text(), rig.url("/pictures?n=2"));
  }

  void firstResponseTabLoadsOnlyWhenShownWithTheOptionOn() {
    TWindowRig rig;
    THttpAsyForm& f = rig.form;
    TWebEngineBrowser& view = rig.firstresponse();
    QStringList asked;
    view.OnBeforeNavigate2 = [&, rule = view.OnBeforeNavigate2](const QString& u, bool& cancel) {
      rule(u, cancel);
      asked << (cancel ? "refused " : "allowed ") + u;
    };
    ui(f).PageControl2->setCurrentWidget(ui(f).TabSheet6);
    QWidget* tab = ui(f).WebBrowser_V11->parentWidget();

    // Before any test, option off: showing the tab loads nothing.
    ui(f).CheckBox2->setChecked(false);
    QVERIFY(!ui(f).WebBrowser_V11->isVisible());
    ui(f).PageControl1->setCurrentWidget(tab);
    const QString file = "file://" + QString::fromStdString(programdir()) + "temp.htm";
    QVERIFY(waitfor([&] { return !asked.isEmpty(); }));
    QCOMPARE(asked, QStringList{"refused " + file});

    // Option on: the view is shown and sent to temp.htm whether or not the file exists.
    ui(f).PageControl1->setCurrentWidget(ui(f).TabSheet4);
    ui(f).CheckBox2->setChecked(true);
    QVERIFY(ui(f).WebBrowser_V11->isVisible() || !tab->isVisible());
    ui(f).PageControl1->setCurrentWidget(tab);
    QVERIFY(ui(f).WebBrowser_V11->isVisible());
    QVERIFY(waitfor([&] { return asked.size() == 2; }));
    QCOMPARE(asked.last(), "allowed " + file);
  }

  void aFinishedTestShowsItsFirstResponse() {
    TWindowRig rig;
    THttpAsyForm& f = rig.form;
    TWebEngineBrowser& view = rig.firstresponse();
    int complete = 0;
    view.OnDocumentComplete = [&] { ++complete; };
    bool ended = false;
    rig.host.onended = [&](bool) { ended = true; };
    ui(f).URLEdit->setText(rig.url("/"));
    ui(f).SpinEdit1->setValue(2);
    ui(f).ExecButton->click();
    QVERIFY(waitfor([&] { return ended; }));
    QVERIFY(waitfor([&] { return view.view()->title() == "pressbolt-target"; }));
    const QString temp = QString::fromStdString(rig.host.engine().resultdir()) + "temp.htm";
    QCOMPARE(view.view()->url(), QUrl::fromLocalFile(temp));
    QCOMPARE(ui(f).WebBrowser_V11->folder(), QString::fromStdString(rig.host.engine().resultdir()));
  }
};

QTEST_MAIN(BrowserWindowTest)
#include "BrowserWindowTest.moc"
