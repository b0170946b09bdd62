// What the window says and shows around a test: "Save Results..." with nothing to save says so
// before asking for a file, saving and "Copy Graph" end with a status line, "Log Folder..." starts
// where the log files go and refuses a folder it cannot write, an opened result starts at its
// top, and the ramp chart shows for a ramp result only, both charts plotting at the window's
// smallest size.

#include <unistd.h>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest>

#include "FormControls.h"
#include "GuiSupport.h"
#include "gui/HttpAsy1.h"
#include "gui/ResultCharts.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "results/LogFile.h"
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

// Answers the next file dialog: notes the folder it opened in, then chooses path (accept) or
// cancels when path is empty.
class TFileAnswerer : public QObject {
 public:
  explicit TFileAnswerer(QString path) : path_(std::move(path)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (d == nullptr) return;
      ++seen;
      openedin = d->directory().absolutePath();
      if (path_.isEmpty()) {
        d->reject();
      } else if (d->fileMode() == QFileDialog::Directory) {
        d->setDirectory(path_);
        QMetaObject::invokeMethod(d, "accept");
      } else {
        // As a name typed and confirmed; done() skips the dialog's look at the folder, which
        // may still be loading.
        d->selectFile(path_);
        QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
      }
    });
    timer_.start(20);
  }
  int seen = 0;
  QString openedin;

 private:
  QString path_;
  QTimer timer_;
};

struct TMessagesRig {
  TTempDir dir;
  TTargetServer target;
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-messages"}};
  TWindowHost host{form};
  std::vector<std::string> dialogs;
  int ended = 0;
  TMessagesRig() {
    QVERIFY(chdir(dir.path().c_str()) == 0);
    host.engine().setoutputdir(dir.path());
    host.dialoghook = [this](const std::string& text) { dialogs.push_back(text); };
    host.onended = [this](bool) { ++ended; };
    form.show();
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
  }
  bool runtest(int users, int runs, bool ramp = false) {
    ui(form).URLEdit->setText(QString::fromStdString(target.url("/size/10")));
    ui(form).SpinEdit1->setValue(users);
    ui(form).SpinEdit2->setValue(runs);
    ui(form).SpinEdit3->setValue(0);
    ui(form).Ramp->setChecked(ramp);
    const int before = ended;
    QTest::mouseClick(ui(form).ExecButton, Qt::LeftButton);
    if (!waitfor([&] { return ended > before; })) return false;
    host.sync();
    form.synclogviews();
    return true;
  }
};

}  // namespace

class WindowMessagesTest : public QObject {
  Q_OBJECT
 private slots:
  void saveResultsSaysFirstWhenThereIsNothingToSave() {
    TMessagesRig rig;
    TFileAnswerer files{QString()};
    QTest::mouseClick(ui(rig.form).SaveResultsButton, Qt::LeftButton);
    QCOMPARE(files.seen, 0);
    QCOMPARE(rig.dialogs, std::vector<std::string>{TWindowHost::kNothingToSave});
  }

  // Saving results and copying a chart say in the status bar that they are done.
  void saveAndCopyEndWithAStatusLine() {
    TMessagesRig rig;
    QVERIFY(rig.runtest(3, 1));
    const QString path = QString::fromStdString(rig.dir.file("saved.json"));
    {
      TFileAnswerer files{path};
      QTest::mouseClick(ui(rig.form).SaveResultsButton, Qt::LeftButton);
      QCOMPARE(files.seen, 1);
    }
    QVERIFY2(rig.dialogs.empty(), rig.dialogs.empty() ? "" : rig.dialogs.front().c_str());
    QVERIFY(!readfile(path.toStdString()).empty());
    QCOMPARE(rig.form.statustext(), "Results saved to " + path);
    QApplication::clipboard()->clear();
    rig.form.findChild<QAction*>("CopyGraph1")->trigger();
    QVERIFY(!QApplication::clipboard()->image().isNull());
    QCOMPARE(rig.form.statustext(), QString("Graph copied to the clipboard"));
  }

  // "Log Folder..." opens where the log files go now and refuses a folder it cannot write.
  void logFolderStartsWhereTheLogsGoAndRefusesAnUnwritableOne() {
    TMessagesRig rig;
    TBoxAnswerer boxes;
    {
      TFileAnswerer files{"/proc/self"};  // not writable, even for root
      QTest::mouseClick(ui(rig.form).LogFolderButton, Qt::LeftButton);
      QCOMPARE(files.seen, 1);
      QCOMPARE(QDir(files.openedin).canonicalPath(),
               QDir(QString::fromStdString(outputdir())).canonicalPath());
    }
    QVERIFY(waitfor([&] { return boxes.seen == 1; }, 5000));
    QVERIFY2(boxes.text.contains("cannot be written to \"/proc/self\""), qPrintable(boxes.text));
    QCOMPARE(rig.form.outputdir(), QString());
    // A folder it can write is taken, and the next dialog opens there.
    TTempDir chosen;
    const QString folder = QString::fromStdString(chosen.path());
    {
      TFileAnswerer files{folder};
      QTest::mouseClick(ui(rig.form).LogFolderButton, Qt::LeftButton);
    }
    QCOMPARE(rig.form.outputdir(), folder);
    TFileAnswerer files{QString()};
    QTest::mouseClick(ui(rig.form).LogFolderButton, Qt::LeftButton);
    QCOMPARE(QDir(files.openedin).canonicalPath(), QDir(folder).canonicalPath());
    QCOMPARE(boxes.seen, 1);
    std::remove(rig.form.settingsfile().c_str());
  }

  // A long result opened from a file is shown from its first line.
  void anOpenedResultStartsAtItsTop() {
    TMessagesRig rig;
    QVERIFY(rig.runtest(1, 40));
    const std::string path = rig.dir.file("long.json");
    QVERIFY(rig.host.saveresults(path));
    // The Results view on show, scrolled down as a user would leave it.
    QTextEdit* results = ui(rig.form).datamemo;
    ui(rig.form).PageControl1->setCurrentIndex(
        ui(rig.form).PageControl1->indexOf(ui(rig.form).PageControl1->widget(0)));
    for (int i = 0; i < ui(rig.form).PageControl1->count(); ++i) {
      if (ui(rig.form).PageControl1->widget(i)->isAncestorOf(results))
        ui(rig.form).PageControl1->setCurrentIndex(i);
    }
    QApplication::processEvents();
    QVERIFY(results->verticalScrollBar()->maximum() > 0);
    results->verticalScrollBar()->setValue(results->verticalScrollBar()->maximum() / 2);
    QVERIFY(rig.host.openresults(path));
    QApplication::processEvents();
    QVERIFY(results->verticalScrollBar()->maximum() > 0);
    QCOMPARE(results->verticalScrollBar()->value(), 0);
    QCOMPARE(results->textCursor().position(), 0);
    results->setFocus();
    QApplication::processEvents();
    QCOMPARE(results->verticalScrollBar()->value(), 0);
  }

  // At the window's smallest size both charts of a ramp result plot; the ramp chart shows for a
  // ramp result only, whatever "Ramp-Test" says.
  void theRampChartShowsForRampResultsAndBothPlot() {
    TMessagesRig rig;
    rig.form.resize(565, 650);
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    TResultCharts* charts = rig.form.charts();
    ui(rig.form).Ramp->setChecked(true);
    QApplication::processEvents();
    QVERIFY(!charts->chart2()->isVisible());
    QVERIFY(rig.runtest(4, 2, true));
    QApplication::processEvents();
    QVERIFY(charts->chart2()->isVisible());
    QVERIFY2(charts->chart1()->layout().plotted,
             qPrintable(QString("request chart %1 high").arg(charts->chart1()->height())));
    QVERIFY2(charts->chart2()->layout().plotted,
             qPrintable(QString("ramp chart %1 high").arg(charts->chart2()->height())));
    // A test without ramp: its result has no ramp chart, though the option is ticked again.
    QVERIFY(rig.runtest(2, 1, false));
    ui(rig.form).Ramp->setChecked(true);
    QApplication::processEvents();
    QVERIFY(!charts->chart2()->isVisible());
    QVERIFY(charts->chart1()->layout().plotted);
  }
};

QTEST_MAIN(WindowMessagesTest)
#include "WindowMessagesTest.moc"
