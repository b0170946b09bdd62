// The settings file of the main window: a first start, a round trip through close and a new
// start, stored values that need care, the command-line URL and a settings location that cannot
// be written.

#include <QComboBox>
#include <QScreen>
#include <QToolButton>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "FormControls.h"
#include "GuiSupport.h"
#include "gui/HttpAsy1.h"
#include "gui/urllistwindow.h"
#include "settings/SettingsModel.h"
#include "settings/StoredSettings.h"
#include "support/TestSupport.h"

namespace {

// Both windows of one program start, created in the program's order.
struct TProgram {
  std::unique_ptr<Turllistwin> list = std::make_unique<Turllistwin>();
  std::unique_ptr<THttpAsyForm> form;
  explicit TProgram(const QStringList& args) {
    form = std::make_unique<THttpAsyForm>(*list, args);
    form->show();
  }
  template <class T>
  T* c(const char* name) {
    return control<T>(form.get(), name);
  }
  bool checked(const char* name) { return c<QAbstractButton>(name)->isChecked(); }
  QString text(const char* name) { return c<QLineEdit>(name)->text(); }
  int value(const char* name) { return c<QSpinBox>(name)->value(); }
};

// A program path of its own per case, so every case has its own settings file.
QString programpath(const char* name) {
  return QDir::temp().filePath(name);
}

std::string freshsettings(const char* name, const std::string& contents = {}) {
  const std::string path = settingspath(programpath(name).toStdString());
  std::remove(path.c_str());
  if (!contents.empty()) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
    writefile(path, contents);
  }
  return path;
}

}  // namespace

class FormSettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void testFirstStartDefaults() {
    freshsettings("first");
    TProgram p({programpath("first")});
    for (const char* f :
         {"URLEdit", "username", "pw", "proxy", "port", "POSTDATA", "url1", "Edit2"})
      QVERIFY2(p.text(f).isEmpty(), f);
    QVERIFY(p.c<QComboBox>("agent")->currentText().isEmpty());
    QCOMPARE(p.value("SpinEdit1"), 5);
    QCOMPARE(p.value("SpinEdit2"), 1);
    QCOMPARE(p.value("SpinEdit3"), 0);
    for (const char* on : {"singleurl", "Checkshowgraph", "CheckBox2", "SimultCheckBox"})
      QVERIFY2(p.checked(on), on);
    for (const char* off :
         {"multiurl", "checkproxy", "useusername", "loadusernames", "useagent", "usepost",
          "Checkcookie", "Ramp", "usekey", "HeaderCheckBox", "DataCheckBox", "onerroronlyCheckBox"})
      QVERIFY2(!p.checked(off), off);
    QVERIFY(p.list->lines().isEmpty());
    QVERIFY(!p.list->isVisible());
    QCOMPARE(p.form->size(), QSize(565, 784));
    const QRect avail = p.form->screen()->availableGeometry();
    const QRect frame = p.form->frameGeometry();
    QVERIFY(qAbs(frame.center().x() - avail.center().x()) <= 1);
    if (frame.height() <= avail.height())
      QVERIFY(qAbs(frame.center().y() - avail.center().y()) <= 1);
    else
      QCOMPARE(frame.top(), avail.top());
    QCOMPARE(p.form->windowTitle(), QString("Pressbolt V4.4"));
    QCOMPARE(ui(*p.form).PageControl2->currentWidget(), ui(*p.form).TabSheet8);
    QCOMPARE(ui(*p.form).PageControl1->currentWidget(), ui(*p.form).TabSheet4);
    QVERIFY(ui(*p.form).ExecButton->isEnabled());
  }

  void testEverySettingHasOneControlOfItsKind() {
    // A control renamed in the layout would leave its setting unbound without a sound.
    freshsettings("controls");
    TProgram p({programpath("controls")});
    for (const TSetting& e : settingsmodel()) {
      if (e.control == nullptr) continue;
      const QList<QWidget*> found = p.form->findChildren<QWidget*>(e.control);
      QVERIFY2(found.size() == 1, e.control);
      QWidget* w = found.front();
      switch (e.kind) {
        case TSettingKind::flag:
          QVERIFY2(qobject_cast<QAbstractButton*>(w) != nullptr, e.control);
          break;
        case TSettingKind::number:
          QVERIFY2(qobject_cast<QSpinBox*>(w) != nullptr, e.control);
          QCOMPARE(qobject_cast<QSpinBox*>(w)->minimum(), e.min);
          QCOMPARE(qobject_cast<QSpinBox*>(w)->maximum(), e.max);
          break;
        case TSettingKind::bignumber:
          QVERIFY2(qobject_cast<QLineEdit*>(w) != nullptr, e.control);
          break;
        case TSettingKind::text:
          QVERIFY2(qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QComboBox*>(w) != nullptr,
                   e.control);
          break;
      }
    }
  }

  void testEveryShowEnablesStartAndShowsTheGraph() {
    freshsettings("reshow");
    TProgram p({programpath("reshow"), "http://127.0.0.1/arg"});
    p.form->hide();
    ui(*p.form).ExecButton->setEnabled(false);
    ui(*p.form).PageControl1->setCurrentIndex(2);
    p.c<QLineEdit>("URLEdit")->setText("typed");
    p.form->show();
    QVERIFY(ui(*p.form).ExecButton->isEnabled());
    QCOMPARE(ui(*p.form).PageControl1->currentWidget(), ui(*p.form).TabSheet4);
    QCOMPARE(p.text("URLEdit"), QString("http://127.0.0.1/arg"));
  }

  void testRoundTripThroughCloseAndNewStart() {
    freshsettings("roundtrip");
    {
      TProgram a({programpath("roundtrip")});
      a.c<QLineEdit>("URLEdit")->setText("http://127.0.0.1:81/x");
      a.c<QLineEdit>("username")->setText("joe");
      a.c<QLineEdit>("pw")->setText("secret");
      a.c<QComboBox>("agent")->setEditText("Mozilla/3.01 (X11; I; Linux 2.0.0 i586)");
      a.c<QLineEdit>("proxy")->setText("127.0.0.3");
      a.c<QLineEdit>("POSTDATA")->setText("k=v");
      a.c<QLineEdit>("port")->setText("8080");
      for (const char* flip : {"multiurl", "HeaderCheckBox", "DataCheckBox", "onerroronlyCheckBox",
                               "checkproxy", "useusername", "loadusernames", "useagent", "usepost",
                               "Checkcookie", "Ramp", "Checkshowgraph", "CheckBox2"})
        a.c<QAbstractButton>(flip)->click();
      a.c<QSpinBox>("SpinEdit1")->setValue(1234);
      a.c<QSpinBox>("SpinEdit2")->setValue(65536);
      a.c<QSpinBox>("SpinEdit3")->setValue(7);
      a.list->setlines({"http://127.0.0.1/1", "", "http://127.0.0.1/3"});
      a.list->move(40, 50);
      a.list->resize(333, 144);
      a.form->resize(600, 700);
      QVERIFY(a.form->close());
    }
    TProgram b({programpath("roundtrip")});
    QCOMPARE(b.text("URLEdit"), QString("http://127.0.0.1:81/x"));
    QCOMPARE(b.text("url1"), QString("http://127.0.0.1:81/x"));
    QCOMPARE(b.text("username"), QString("joe"));
    QVERIFY(b.text("pw").isEmpty());
    QCOMPARE(b.c<QComboBox>("agent")->currentText(),
             QString("Mozilla/3.01 (X11; I; Linux 2.0.0 i586)"));
    QCOMPARE(b.text("proxy"), QString("127.0.0.3"));
    QCOMPARE(b.text("POSTDATA"), QString("k=v"));
    QCOMPARE(b.text("port"), QString("8080"));
    for (const char* on : {"multiurl", "HeaderCheckBox", "DataCheckBox", "onerroronlyCheckBox",
                           "checkproxy", "useusername", "loadusernames", "useagent", "usepost",
                           "Checkcookie", "Ramp", "SimultCheckBox"})
      QVERIFY2(b.checked(on), on);
    for (const char* off : {"singleurl", "Checkshowgraph", "CheckBox2"})
      QVERIFY2(!b.checked(off), off);
    QCOMPARE(b.value("SpinEdit1"), 1234);
    QCOMPARE(b.value("SpinEdit2"), 65536);
    QCOMPARE(b.value("SpinEdit3"), 7);
    // The empty line was written but is not read back.
    QCOMPARE(b.list->lines(), QStringList({"http://127.0.0.1/1", "http://127.0.0.1/3"}));
    QVERIFY(b.list->isVisible());
    QCOMPARE(b.list->pos(), QPoint(40, 50));
    QCOMPARE(b.list->size(), QSize(333, 144));
    QCOMPARE(b.form->size(), QSize(600, 700));
    // The handlers ran for the restored options.
    QVERIFY(b.c<QLineEdit>("proxy")->isEnabled());
    QVERIFY(!b.c<QLineEdit>("URLEdit")->isEnabled());
    // The ramp chart belongs to a ramp result, and none is shown yet.
    QVERIFY(b.form->charts()->chart2()->isHidden());
  }

  // What https connections trust is set beside the URL: the CA file (typed or chosen),
  // "Accept any certificate" and "Resume sessions" reach the test's settings and come back after
  // a restart.
  void testHttpsTrustControlsReachTheTestAndSurviveARestart() {
    freshsettings("trust");
    {
      TProgram a({programpath("trust")});
      QVERIFY(!a.checked("insecure"));
      QVERIFY(!a.checked("tlsresume"));
      QVERIFY(a.text("cafile").isEmpty());
      QVERIFY(a.form->currentsettings().cafile.empty());
      a.c<QLineEdit>("URLEdit")->setText("https://127.0.0.1:8443/");
      a.c<QLineEdit>("cafile")->setText("/etc/ssl/test-ca.pem");
      a.c<QAbstractButton>("insecure")->click();
      a.c<QAbstractButton>("tlsresume")->click();
      const TestSettings s = a.form->currentsettings();
      QCOMPARE(QString::fromStdString(s.url), QString("https://127.0.0.1:8443/"));
      QCOMPARE(QString::fromStdString(s.cafile), QString("/etc/ssl/test-ca.pem"));
      QVERIFY(s.insecure);
      QVERIFY(s.tlsresume);
      QCOMPARE(a.c<QToolButton>("CAFileButton")->text(), QString("..."));
      QVERIFY(a.form->close());
    }
    TProgram b({programpath("trust")});
    QCOMPARE(b.text("cafile"), QString("/etc/ssl/test-ca.pem"));
    QVERIFY(b.checked("insecure"));
    QCOMPARE(b.text("URLEdit"), QString("https://127.0.0.1:8443/"));
    QVERIFY(b.form->currentsettings().insecure);
    QVERIFY(b.checked("tlsresume"));
    QVERIFY(b.form->currentsettings().tlsresume);
  }

  // A long POST body comes back whole after a restart, not cut to what an old profile routine
  // or a line edit's default limit kept.
  void testLongPostBodySurvivesARestart() {
    freshsettings("longpost");
    QString body;
    for (int i = 0; body.size() < 40000; ++i) body += QString("field%1=value&").arg(i);
    {
      TProgram a({programpath("longpost")});
      a.c<QLineEdit>("POSTDATA")->setText(body);
      QCOMPARE(a.text("POSTDATA"), body);
      QVERIFY(a.form->close());
    }
    TProgram b({programpath("longpost")});
    QCOMPARE(b.text("POSTDATA").size(), body.size());
    QCOMPARE(b.text("POSTDATA"), body);
  }

  void testStoredValuesThatNeedCare() {
    freshsettings("stored",
                  "[Data]\nmultiurl=1\nsingleurl=0\nSimultaneous=0\nrequests=0\nRuns=99999\n"
                  "Wait=-5\nCount=3\nURLs0=http://127.0.0.1/a\nURLs1=\nURLs2=http://127.0.0.1/c\n"
                  "URLEdit=http://127.0.0.1/stored\n");
    TProgram p({programpath("stored")});
    QVERIFY(p.checked("multiurl"));
    QVERIFY(p.list->isVisible());
    QVERIFY(!p.c<QLineEdit>("URLEdit")->isEnabled());
    QVERIFY(p.checked("SimultCheckBox"));
    QCOMPARE(p.value("SpinEdit1"), 1);
    QCOMPARE(p.value("SpinEdit2"), 65536);
    QCOMPARE(p.value("SpinEdit3"), 0);
    QCOMPARE(p.list->lines(), QStringList({"http://127.0.0.1/a", "http://127.0.0.1/c"}));

    freshsettings("stored2", "[Data]\nrequests=30000\n");
    TProgram q({programpath("stored2")});
    QCOMPARE(q.value("SpinEdit1"), 20000);
  }

  // Stored options come back with the fields that depend on them: users.txt stored on without
  // "Use User" stays off, as a click could not have left it.
  void testStoredOptionsSetTheirFields() {
    freshsettings("dependent", "[Data]\nloadusernames=1\nUseusername=0\nUseagent=1\nagent=probe\n");
    TProgram p({programpath("dependent")});
    QVERIFY(!p.checked("loadusernames") && !p.c<QCheckBox>("loadusernames")->isEnabled());
    QVERIFY(!p.c<QLineEdit>("username")->isEnabled());
    QVERIFY(p.c<QComboBox>("agent")->isEnabled());
    QVERIFY(!p.form->currentsettings().usersfromfile);
  }

  void testCommandLineUrlOverridesTheStoredOne() {
    freshsettings("cmdline", "[Data]\nURLEdit=http://127.0.0.1/stored\n");
    TProgram p({programpath("cmdline"), "http://127.0.0.1:9/given", "ignored"});
    for (const char* f : {"URLEdit", "url1", "Edit2"})
      QCOMPARE(p.text(f), QString("http://127.0.0.1:9/given"));
  }

  void testUnwritableSettingsAreReportedAndTheWindowCloses() {
    TTempDir dir;
    writefile(dir.file("plainfile"), "x");
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    // A directory below a regular file can never be created, even by root; and a directory
    // where the file should be can never be replaced by it.
    const std::string belowfile = dir.file("plainfile") + "/config";
    const std::string isdir = dir.file("config");
    QVERIFY(QDir().mkpath(QString::fromStdString(isdir + "/unwritable.ini")));
    for (const std::string& home : {belowfile, isdir}) {
      qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home));
      TProgram p({programpath("unwritable")});
      qputenv("XDG_CONFIG_HOME", old);
      QVERIFY(QTest::qWaitForWindowExposed(p.form.get()));
      bool closed = false;
      connect(p.form.get(), &THttpAsyForm::closed, [&] { closed = true; });
      TBoxAnswerer answer;
      QVERIFY(p.form->close());
      QCOMPARE(answer.seen, 1);
      QVERIFY2(answer.text.startsWith("Unable to write to "), qPrintable(answer.text));
      QVERIFY(answer.text.contains("unwritable.ini"));
      QVERIFY(!p.form->isVisible());
      QVERIFY(closed);
    }
  }

  void testClosingTheMainWindowEndsTheProgramWithTheListShown() {
    const std::string path = freshsettings("quit");
    TProgram p({programpath("quit")});
    quitonclose(*p.form);
    p.c<QRadioButton>("multiurl")->click();
    QVERIFY(p.list->isVisible());
    QTimer::singleShot(0, p.form.get(), [&] { p.form->close(); });
    // A loop that does not end by itself is ended with a failure code.
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(readfile(path).find("multiurl=1") != std::string::npos);
  }

  void testListWindowGeometrySurvivesRestarts() {
    freshsettings("listgeometry");
    const QRect chosen(300, 200, 350, 160);
    for (int start = 0; start < 4; ++start) {
      TProgram p({programpath("listgeometry")});
      p.c<QRadioButton>("multiurl")->setChecked(true);
      QVERIFY(QTest::qWaitForWindowExposed(p.list.get()));
      if (start == 0)
        p.list->setGeometry(chosen);
      else
        QCOMPARE(p.list->geometry(), chosen);
      QVERIFY(p.form->close());
    }
  }

  void testFirstStartNeverPutsTheListOverTheMainWindow() {
    freshsettings("beside", "[Data]\nmultiurl=1\nsingleurl=0\n");
    TProgram p({programpath("beside")});
    QVERIFY(p.list->isVisible());
    // Beside the main window where the screen has room, else where the window system puts it;
    // never pinned to the screen's corner.
    if (p.list->testAttribute(Qt::WA_Moved))
      QVERIFY(!p.form->frameGeometry().intersects(p.list->frameGeometry()));
  }

  void testListGoesBesideTheMainWindowWhereThereIsRoom() {
    freshsettings("besideroom");
    TProgram p({programpath("besideroom")});
    const QRect avail = p.form->screen()->availableGeometry();
    p.form->move(avail.topLeft());
    // The list keeps its size: its smallest, which fits beside the main window on this screen.
    const QSize size = p.list->minimumSize().expandedTo(QSize(0, 150));
    p.list->resize(size);
    p.c<QRadioButton>("multiurl")->click();
    QVERIFY(p.list->isVisible());
    const QRect main = p.form->frameGeometry(), list = p.list->frameGeometry();
    QVERIFY(!main.intersects(list));
    QVERIFY(list.left() > main.right());
    QCOMPARE(p.list->size(), size);
    QVERIFY(avail.contains(p.list->geometry()));
  }
};

QTEST_MAIN(FormSettingsTest)
#include "FormSettingsTest.moc"
