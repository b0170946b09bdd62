// The window while a run is timed: the log views, the chart and the first-response views wait
// until its last completion, the status text changes at display rate only, an Abort during the
// allocation sends none of the run's requests, and IPv6 literals in the URL fields reach ::1.

#include <unistd.h>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>
#include <sstream>
#include <vector>

#include "FormControls.h"
#include "GuiSupport.h"
#include "browser/FirstResponseView.h"
#include "browser/WebEngineBrowser.h"
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

// Notes each text the status label is painted with while the window holds its views.
class TStatusWatch : public QObject {
 public:
  TStatusWatch(QLabel* label, TWindowHost& host) : label_(label), host_(host) {
    label_->installEventFilter(this);
  }
  int shown = 0;  // distinct texts painted while holding

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && host_.holding() && label_->text() != last_) {
      last_ = label_->text();
      ++shown;
    }
    return false;
  }

 private:
  QLabel* label_;
  TWindowHost& host_;
  QString last_;
};

struct TWindowRig {
  TTempDir dir;
  TTargetServer target{{"--log"}, dir.file("requests.log")};
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-windowrun"}};
  TWindowHost host{form};
  bool ended = false;
  TWindowRig() {
    QVERIFY(chdir(dir.path().c_str()) == 0);
    host.engine().setoutputdir(dir.path());
    host.dialoghook = [](const std::string& text) { qWarning("dialog: %s", text.c_str()); };
    host.onended = [this](bool) { ended = true; };
    form.show();
  }
  // Requests the server has answered or seen.
  size_t served() const {
    std::istringstream in(readfile(dir.file("requests.log")));
    size_t count = 0;
    for (std::string line; std::getline(in, line);) count += line.rfind("GET ", 0) == 0;
    return count;
  }
};

}  // namespace

class WindowRunTest : public QObject {
  Q_OBJECT
 private slots:
  void viewsWaitForTheLastCompletion() {
    TWindowRig rig;
    THttpAsyForm& form = rig.form;
    TWindowHost& host = rig.host;
    // Many users for many status texts in the allocation, and answers that take half a second,
    // so the views' timers tick several times while the run is out.
    ui(form).URLEdit->setText(QString::fromStdString(rig.target.url("/trickle?bytes=5&ms=100")));
    ui(form).SpinEdit1->setValue(2000);
    ui(form).SpinEdit2->setValue(1);
    ui(form).Checkshowgraph->setChecked(false);  // the first response is shown as it completes

    // The first-response browser view does not even start a navigation while a run is timed: its
    // threads would take CPU from the server and its repaint time from the measurement.
    QWebEngineView* browser =
        static_cast<TWebEngineBrowser&>(ui(form).WebBrowser_V11->browser()).view();
    const QUrl shown = browser->url();
    TStatusWatch status(ui(form).StatusText, host);
    QElapsedTimer held;
    qint64 heldms = 0;
    int samples = 0, changed = 0;
    int logblocks = -1, resultblocks = -1, points = -1;
    QString source;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
      if (!host.holding()) return;
      if (!held.isValid()) held.start();
      heldms = held.elapsed();
      ++samples;
      const int l = ui(form).DisplayMemo->blockCount(),
                r = ui(form).datamemo->document()->blockCount(),
                p = form.charts()->requestpointcount();
      if (logblocks >= 0 && (l != logblocks || r != resultblocks || p != points ||
                             ui(form).Memo1->toPlainText() != source)) {
        ++changed;
      }
      source = ui(form).Memo1->toPlainText();
      if (browser->url() != shown) ++changed;
      logblocks = l;
      resultblocks = r;
      points = p;
    });
    sample.start(5);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return rig.ended; }));
    sample.stop();

    QVERIFY2(heldms >= 300, qPrintable(QString("held %1 ms").arg(heldms)));
    QVERIFY(samples > 10);
    QCOMPARE(changed, 0);
    // At most one status text per interval, and one more for the start of the hold.
    QVERIFY2(status.shown <= heldms / TWindowHost::kStatusIntervalMs + 2,
             qPrintable(QString("%1 status texts in %2 ms").arg(status.shown).arg(heldms)));
    // Caught up at the end: every request on the chart, the first response in its view.
    QVERIFY(waitfor([&] { return ui(form).DisplayMemo->toPlainText().contains("Saving log"); }));
    QCOMPARE(form.charts()->requestpointcount(), 2000);
    QVERIFY(!ui(form).Memo1->toPlainText().isEmpty());
    QVERIFY(ui(form).DisplayMemo->toPlainText().contains("Request 2000 Done"));
  }

  // While the next test's run is timed, the views show that test's start, never the previous
  // test's results as if they were current.
  void aSecondTestNeverShowsTheFirstOnesResults() {
    TWindowRig rig;
    THttpAsyForm& form = rig.form;
    TWindowHost& host = rig.host;
    ui(form).Checkshowgraph->setChecked(false);  // the views stay visible during the run
    ui(form).URLEdit->setText(QString::fromStdString(rig.target.url("/size/10")));
    ui(form).SpinEdit1->setValue(5);
    ui(form).SpinEdit2->setValue(1);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return rig.ended; }));
    form.synclogviews();
    QVERIFY(ui(form).datamemo->toPlainText().contains("Glossary"));

    rig.ended = false;
    ui(form).URLEdit->setText(QString::fromStdString(rig.target.url("/trickle?bytes=3&ms=100")));
    int samples = 0, stale = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
      if (!host.holding()) return;
      ++samples;
      stale += ui(form).datamemo->toPlainText().contains("Glossary") ||
               ui(form).DisplayMemo->toPlainText().contains("Saving log") ||
               form.charts()->requestpointcount() != 0 ||
               !ui(form).DisplayMemo->toPlainText().contains("trickle");
    });
    sample.start(10);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return rig.ended; }));
    QVERIFY(samples > 5);
    QCOMPARE(stale, 0);
  }

  // "Log Folder..." chooses where the log files go; the choice outlives the program.
  void theChosenLogFolderTakesTheLogFiles() {
    TTempDir chosen;
    std::string settings;
    {
      TWindowRig rig;
      THttpAsyForm& form = rig.form;
      settings = form.settingsfile();
      // The rig's own output directory would win over the form's folder: forget it.
      rig.host.engine().setoutputdir("");
      QTimer answer;
      QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
          answer.stop();
          // The folder shown when the user presses Choose is the folder chosen.
          d->setDirectory(QString::fromStdString(chosen.path()));
          QMetaObject::invokeMethod(d, "accept");
        }
      });
      answer.start(20);
      QTest::mouseClick(control<QPushButton>(&form, "LogFolderButton"), Qt::LeftButton);
      QCOMPARE(form.outputdir(), QString::fromStdString(chosen.path()));
      QVERIFY(ui(form).LogFolderButton->toolTip().contains(form.outputdir()));

      ui(form).URLEdit->setText(QString::fromStdString(rig.target.url("/size/10")));
      ui(form).SpinEdit1->setValue(2);
      QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
      QVERIFY(waitfor([&] { return rig.ended; }));
      QVERIFY(readfile(chosen.file("Pressbolt Results.log")).find("Results of run 1") !=
              std::string::npos);
      QVERIFY(!readfile(chosen.file("Pressbolt Detailed Results.log")).empty());
      QVERIFY(form.close());
    }
    QVERIFY(readfile(settings).find("LogFolder=" + chosen.path()) != std::string::npos);
    Turllistwin urls;
    THttpAsyForm again{urls, {"pressbolt-windowrun"}};
    again.show();
    QCOMPARE(again.outputdir(), QString::fromStdString(chosen.path()));
    std::remove(settings.c_str());
  }

  void abortDuringTheAllocationSendsNothing() {
    TWindowRig rig;
    THttpAsyForm& form = rig.form;
    TWindowHost& host = rig.host;
    ui(form).URLEdit->setText(QString::fromStdString(rig.target.url("/size/10")));
    ui(form).SpinEdit1->setValue(3000);
    ui(form).SpinEdit2->setValue(1);
    // The operator presses Abort once the launcher has made some clients.
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
      if (!host.engine().clients.empty() && ui(form).AbortButton->isEnabled()) {
        presser.stop();
        QTest::mouseClick(ui(form).AbortButton, Qt::LeftButton);
      }
    });
    presser.start(0);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return rig.ended; }));
    form.synclogviews();

    QVERIFY(host.engine().aborted);
    QVERIFY(ui(form).ExecButton->isEnabled());
    const QString log = ui(form).DisplayMemo->toPlainText();
    QVERIFY(log.contains("Run 1 was aborted before its requests were started"));
    QVERIFY(!log.contains("Starting request"));
    QVERIFY(log.contains("Test aborted"));
    QVERIFY(ui(form).datamemo->toPlainText().contains("Test aborted"));
    const std::string results = readfile(rig.dir.file("Pressbolt Results.log"));
    QVERIFY(results.find("Test aborted") != std::string::npos);
    QCOMPARE(form.charts()->requestpointcount(), 0);
    QTest::qWait(200);
    QCOMPARE(rig.served(), size_t(0));
  }

  // The runs that completed and the abort itself reach the views and both files, whether Abort
  // comes during a run or during the wait for the next.
  void abortIsShownAndKeepsTheCompletedRuns() {
    struct TCase {
      const char* path;
      int runs, wait;
      bool duringwait;
    };
    for (const TCase& t : {TCase{"/hang", 1, 0, false}, TCase{"/size/10", 3, 5, true}}) {
      TWindowRig rig;
      THttpAsyForm& form = rig.form;
      TLoadEngine& engine = rig.host.engine();
      ui(form).URLEdit->setText(QString::fromStdString(rig.target.url(t.path)));
      ui(form).SpinEdit1->setValue(4);
      ui(form).SpinEdit2->setValue(t.runs);
      ui(form).SpinEdit3->setValue(t.wait);
      QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
      if (t.duringwait) {
        QVERIFY(waitfor([&] { return engine.phase() == TLoadEngine::TPhase::waiting; }));
      } else {
        QVERIFY(waitfor([&] { return rig.served() == 4; }));
      }
      QTest::mouseClick(ui(form).AbortButton, Qt::LeftButton);
      QVERIFY(waitfor([&] { return rig.ended; }));
      form.synclogviews();
      QVERIFY2(ui(form).datamemo->toPlainText().contains("Test aborted"), t.path);
      QVERIFY(ui(form).DisplayMemo->toPlainText().contains("Test aborted"));
      for (const char* file : {"Pressbolt Results.log", "Pressbolt Detailed Results.log"}) {
        QVERIFY2(readfile(rig.dir.file(file)).find("Test aborted") != std::string::npos, file);
      }
      if (t.duringwait) {
        // Run 1 completed before the Abort: its results are in the file.
        const std::string results = readfile(rig.dir.file("Pressbolt Results.log"));
        QVERIFY(results.find("Results of run 1") != std::string::npos);
        QVERIFY(results.find("Average User Wait Time") != std::string::npos);
      }
      QVERIFY(ui(form).ExecButton->isEnabled());
    }
  }

  // Lines wider than the view: after a test every text view still shows the start of its lines.
  void textViewsOpenAtTheStartOfTheirLines() {
    TWindowRig rig;
    THttpAsyForm& form = rig.form;
    ui(form).URLEdit->setText(
        QString::fromStdString(rig.target.url("/size/10?" + std::string(400, 'w'))));
    ui(form).SpinEdit1->setValue(3);
    ui(form).SpinEdit2->setValue(1);
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return rig.ended; }));
    form.synclogviews();
    for (QAbstractScrollArea* view : {static_cast<QAbstractScrollArea*>(ui(form).DisplayMemo),
                                      static_cast<QAbstractScrollArea*>(ui(form).datamemo)}) {
      for (QWidget* tab = view; tab != nullptr; tab = tab->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(tab->parentWidget()->parentWidget())) {
          tabs->setCurrentWidget(tab);
          break;
        }
        if (tab->parentWidget()->parentWidget() == nullptr) break;
      }
      QApplication::processEvents();
      // A view scrolls to show its text cursor when it is shown or focused: the cursor sits at the
      // start of a line.
      const QTextCursor cursor = qobject_cast<QPlainTextEdit*>(view)
                                     ? qobject_cast<QPlainTextEdit*>(view)->textCursor()
                                     : qobject_cast<QTextEdit*>(view)->textCursor();
      QVERIFY2(cursor.positionInBlock() == 0, qPrintable(view->objectName()));
      view->setFocus();
      QApplication::processEvents();
      QScrollBar* across = view->horizontalScrollBar();
      QVERIFY2(across->maximum() > 0, qPrintable(view->objectName()));
      QVERIFY2(across->value() == 0,
               qPrintable(view->objectName() + " scrolled to " + QString::number(across->value())));
    }
  }

  // IPv6 literals in the URL field, the proxy field and the multiple-URL list reach a server on
  // ::1, which answers 200 only for the Host line each request should carry.
  void ipv6LiteralsInTheUrlFieldsAndTheProxy() {
    if (!haveipv6loopback()) QSKIP(kNoIpv6Loopback);
    TWindowRig rig;
    THttpAsyForm& form = rig.form;
    std::vector<std::string> dialogs;
    rig.host.dialoghook = [&](const std::string& t) { dialogs.push_back(t); };
    TTargetServer v6({"--bind", "::1", "--log"}, rig.dir.file("v6.log"));
    auto served = [&](const std::string& line) {
      std::istringstream in(readfile(rig.dir.file("v6.log")));
      int n = 0;
      for (std::string l; std::getline(in, l);) n += l == line;
      return n;
    };
    auto runtest = [&] {
      rig.ended = false;
      QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
      return waitfor([&] { return rig.ended; });
    };
    ui(form).Checkshowgraph->setChecked(false);
    ui(form).SpinEdit1->setValue(3);
    ui(form).SpinEdit2->setValue(1);

    const std::string check = "/host?is=" + v6.hostport();
    ui(form).URLEdit->setText(QString::fromStdString(v6.url(check)));
    QVERIFY(runtest());
    QCOMPARE(served("GET " + check + " 200"), 3);

    ui(form).checkproxy->setChecked(true);
    ui(form).proxy->setText("[::1]");
    ui(form).port->setText(QString::number(v6.port()));
    ui(form).URLEdit->setText("http://example.test/host?is=example.test");
    QVERIFY(runtest());
    QCOMPARE(served("GET http://example.test/host?is=example.test 200"), 3);
    ui(form).checkproxy->setChecked(false);

    ui(form).multiurl->click();
    rig.urls.urllist()->setPlainText(
        QString::fromStdString(v6.url(check + "&n=1") + "\n" + v6.url(check + "&n=2")));
    QVERIFY(runtest());
    QCOMPARE(served("GET " + check + "&n=1 200") + served("GET " + check + "&n=2 200"), 3);
    ui(form).singleurl->click();
    QVERIFY(dialogs.empty());
  }
};

QTEST_MAIN(WindowRunTest)
#include "WindowRunTest.moc"
