// A test's life in the window: nothing is painted or laid out while a run's requests are out (the
// first test of the program included), "Start Test" stays disabled between runs, the wait for
// the next run is shown, a close during a test asks and keeps what completed, and the URL list's
// lines are used without the blanks and tabs at their ends.

#include <unistd.h>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>
#include <sstream>

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
  while (!cond() && t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return cond();
}

// Counts the paints, layouts and window updates of the program from a run's start loop to its
// last completion, and notes which the first was. Before the start loop the host may paint.
class TPaintWatch : public QObject {
 public:
  explicit TPaintWatch(TWindowHost& host) : host_(host) { qApp->installEventFilter(this); }
  ~TPaintWatch() override { qApp->removeEventFilter(this); }
  int seen = 0;
  QString first;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    const QEvent::Type t = event->type();
    const long double loopend = host_.engine().laststartloop().end;
    if (!host_.holding()) {
      held_ = false;
      return false;
    }
    if (!held_) {
      // The hold begins with the allocation: the start loop that follows ends later than this.
      held_ = true;
      before_ = loopend;
    }
    if (loopend != before_ &&
        (t == QEvent::Paint || t == QEvent::LayoutRequest || t == QEvent::UpdateRequest)) {
      if (seen++ == 0) {
        first = QString("%1 to %2 %3")
                    .arg(int(t))
                    .arg(object->metaObject()->className())
                    .arg(object->objectName());
      }
    }
    return false;
  }

 private:
  TWindowHost& host_;
  bool held_ = false;
  long double before_ = 0;
};

struct TLifeRig {
  TTempDir dir;
  TTargetServer target{{"--log"}, dir.file("requests.log")};
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-testlife"}};
  TWindowHost host{form};
  int ended = 0;
  TLifeRig() {
    QVERIFY(chdir(dir.path().c_str()) == 0);
    host.engine().setoutputdir(dir.path());
    host.dialoghook = [](const std::string& text) { qWarning("dialog: %s", text.c_str()); };
    host.onended = [this](bool) { ++ended; };
    form.show();
  }
  std::vector<std::string> served() const {
    std::istringstream in(readfile(dir.file("requests.log")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      if (line.rfind("GET ", 0) == 0) lines.push_back(line);
    return lines;
  }
};

}  // namespace

class WindowTestLifeTest : public QObject {
  Q_OBJECT
 private slots:
  // One user as a new user tests: default settings, the program's first test and a second one.
  // A repaint left over from the start, or the status text, would come while the request is out
  // and add its time to the user's wait.
  void nothingPaintsWhileARunsRequestsAreOut() {
    TLifeRig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    ui(rig.form).URLEdit->setText(QString::fromStdString(rig.target.url("/size/10")));
    ui(rig.form).SpinEdit1->setValue(1);
    ui(rig.form).SpinEdit2->setValue(2);
    TPaintWatch watch(rig.host);
    for (int test = 0; test < 2; ++test) {
      const int ended = rig.ended;
      QTest::mouseClick(ui(rig.form).ExecButton, Qt::LeftButton);
      QVERIFY(waitfor([&] { return rig.ended > ended; }));
    }
    QCOMPARE(rig.served().size(), size_t(4));
    QVERIFY2(watch.seen == 0, qPrintable(QString("%1 paint events during the runs, the first: %2")
                                             .arg(watch.seen)
                                             .arg(watch.first)));
  }

  // Between runs "Start Test" is disabled, and the status bar says what the program waits for.
  void betweenRunsStartIsDisabledAndTheWaitShown() {
    TLifeRig rig;
    ui(rig.form).URLEdit->setText(QString::fromStdString(rig.target.url("/size/10")));
    ui(rig.form).SpinEdit1->setValue(2);
    ui(rig.form).SpinEdit2->setValue(2);
    ui(rig.form).SpinEdit3->setValue(3);
    QTest::mouseClick(ui(rig.form).ExecButton, Qt::LeftButton);
    TLoadEngine& engine = rig.host.engine();
    QVERIFY(waitfor([&] { return engine.phase() == TLoadEngine::TPhase::waiting; }));
    QVERIFY(!ui(rig.form).ExecButton->isEnabled());
    QVERIFY(waitfor([&] { return rig.form.statustext().startsWith("Waiting for run"); }, 2000));
    QVERIFY2(rig.form.statustext() == "Waiting for run 2 of 2: 3 s" ||
                 rig.form.statustext() == "Waiting for run 2 of 2: 2 s",
             qPrintable(rig.form.statustext()));
    QVERIFY(waitfor([&] { return rig.form.statustext() == "Waiting for run 2 of 2: 1 s"; }, 4000));
    // A press on the disabled button does not end the test.
    QTest::mouseClick(ui(rig.form).ExecButton, Qt::LeftButton);
    QCOMPARE(engine.phase(), TLoadEngine::TPhase::waiting);
    QVERIFY(waitfor([&] { return rig.ended == 1; }));
    QCOMPARE(rig.served().size(), size_t(4));
    QVERIFY(ui(rig.form).ExecButton->isEnabled());
    QVERIFY(!rig.form.statustext().startsWith("Waiting"));
  }

  // A close during a test asks first: no goes on with the test; yes aborts it, writes the runs
  // that completed and then closes.
  void closingDuringATestAsksAndKeepsWhatCompleted() {
    TLifeRig rig;
    bool closed = false;
    QObject::connect(&rig.form, &THttpAsyForm::closed, [&] { closed = true; });
    ui(rig.form).URLEdit->setText(QString::fromStdString(rig.target.url("/size/10")));
    ui(rig.form).SpinEdit1->setValue(2);
    ui(rig.form).SpinEdit2->setValue(3);
    ui(rig.form).SpinEdit3->setValue(30);
    QTest::mouseClick(ui(rig.form).ExecButton, Qt::LeftButton);
    TLoadEngine& engine = rig.host.engine();
    QVERIFY(waitfor([&] { return engine.phase() == TLoadEngine::TPhase::waiting; }));
    std::vector<std::string> asked;
    bool answer = false;
    rig.host.questionhook = [&](const std::string& q) {
      asked.push_back(q);
      return answer;
    };
    QVERIFY(!rig.form.close());
    QCOMPARE(asked.size(), size_t(1));
    QCOMPARE(asked[0], std::string(TWindowHost::kCloseQuestion));
    QVERIFY(!closed);
    QCOMPARE(engine.phase(), TLoadEngine::TPhase::waiting);
    answer = true;
    rig.form.close();
    QVERIFY(waitfor([&] { return closed; }, 5000));
    QCOMPARE(rig.ended, 1);
    const std::string results = readfile(rig.dir.file("Pressbolt Results.log"));
    QVERIFY(results.find("Results of run 1") != std::string::npos);
    QVERIFY(results.find("Test aborted") != std::string::npos);
    QVERIFY(readfile(rig.dir.file("Pressbolt Detailed Results.log")).find("Request 2 Done") !=
            std::string::npos);
  }

  // Blanks and tabs at either end of a list line are not part of the URL, as after a restart.
  void urlListLinesAreTrimmedWhenUsed() {
    TLifeRig rig;
    ui(rig.form).multiurl->click();
    rig.urls.setlines({"\t" + QString::fromStdString(rig.target.url("/size/10")) + "\t",
                       " " + QString::fromStdString(rig.target.url("/size/20")) + " \t "});
    ui(rig.form).SpinEdit1->setValue(2);
    ui(rig.form).SpinEdit2->setValue(1);
    QTest::mouseClick(ui(rig.form).ExecButton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return rig.ended == 1; }));
    QCOMPARE(rig.host.engine().tally.statuscodecount(), 1);
    QCOMPARE(rig.host.engine().tally.statuscodes(1), 200);
    QCOMPARE(rig.host.engine().tally.statuscounts(1), 2);
    const std::vector<std::string> served = rig.served();
    QCOMPARE(served.size(), size_t(2));
    for (const std::string& line : served)
      QVERIFY2(line.find('\t') == std::string::npos, line.c_str());
  }
};

QTEST_MAIN(WindowTestLifeTest)
#include "WindowTestLifeTest.moc"
