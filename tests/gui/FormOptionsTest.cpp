// The load-test tab's option handlers, the URL fields kept equal, the settings snapshot and the
// visibility rule of the multiple-URL window, on a shown main window.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <cstdio>

#include "FormControls.h"
#include "GuiSupport.h"
#include "gui/HttpAsy1.h"
#include "gui/urllistwindow.h"
#include "settings/StoredSettings.h"

namespace {

QColor base(QWidget* w) {
  return w->palette().color(QPalette::Base);
}
QColor windowcolour() {
  return QApplication::palette().color(QPalette::Base);
}
QColor buttonface() {
  return QApplication::palette().color(QPalette::Button);
}

// Enabled and painted in the window colour, or disabled and painted in the button-face colour.
bool switchedon(QWidget* w) {
  return w->isEnabled() && base(w) == windowcolour();
}
bool switchedoff(QWidget* w) {
  return !w->isEnabled() && base(w) == buttonface();
}

}  // namespace

class FormOptionsTest : public QObject {
  Q_OBJECT
  Turllistwin* list = nullptr;
  THttpAsyForm* form = nullptr;

  template <class T>
  T* c(const char* name) {
    return control<T>(form, name);
  }

 private slots:
  void init() {
    const QString argv0 = QDir::temp().filePath("pressbolt-options");
    std::remove(settingspath(argv0.toStdString()).c_str());
    list = new Turllistwin;
    form = new THttpAsyForm(*list, {argv0});
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
  }
  void cleanup() {
    delete form;
    delete list;
  }

  void testWindowColoursDiffer() {
    // Without distinct colours the painting checks below would prove nothing.
    QVERIFY(windowcolour() != buttonface());
  }

  void testSimpleOptionsEnableAndPaintTheirFields() {
    struct Case {
      const char* option;
      std::vector<const char*> fields;
    };
    for (const Case& k : {Case{"checkproxy", {"proxy", "port"}}, Case{"useagent", {"agent"}},
                          Case{"usepost", {"POSTDATA"}}}) {
      auto* option = c<QCheckBox>(k.option);
      QVERIFY(option);
      for (auto* f : k.fields) QVERIFY2(switchedoff(c<QWidget>(f)), f);
      option->click();
      for (auto* f : k.fields) QVERIFY2(switchedon(c<QWidget>(f)), f);
      option->click();
      for (auto* f : k.fields) QVERIFY2(switchedoff(c<QWidget>(f)), f);
    }
  }

  void testUserOptionAndUsersFile() {
    auto* useuser = c<QCheckBox>("useusername");
    auto* fromfile = c<QCheckBox>("loadusernames");
    auto* name = c<QLineEdit>("username");
    auto* pw = c<QLineEdit>("pw");
    QVERIFY(switchedoff(name) && switchedoff(pw) && !fromfile->isEnabled());

    useuser->click();
    QVERIFY(switchedon(name) && switchedon(pw) && fromfile->isEnabled());

    // Names from the file: the typed fields stay enabled but look switched off.
    fromfile->click();
    QVERIFY(name->isEnabled() && pw->isEnabled());
    QCOMPARE(base(name), buttonface());
    QCOMPARE(base(pw), buttonface());

    // Turning the user option off also turns the file option off.
    useuser->click();
    QVERIFY(!fromfile->isChecked() && !fromfile->isEnabled());
    QVERIFY(switchedoff(name) && switchedoff(pw));

    useuser->click();
    form->setusersfromfile(true);
    QVERIFY(fromfile->isChecked());
    QVERIFY(form->currentsettings().usersfromfile);
  }

  // A dependent option cannot be on while its own is off, however it is set; the key offset's
  // field stays open whatever "Key Offset" says.
  void testDependentOptionsAndTheOpenKeyOffset() {
    form->setusersfromfile(true);
    QVERIFY(!c<QCheckBox>("loadusernames")->isChecked());
    QVERIFY(!form->currentsettings().usersfromfile);

    auto* usekey = c<QCheckBox>("usekey");
    auto* offset = c<QLineEdit>("offset");
    QVERIFY(!usekey->isChecked() && offset->isEnabled());
    usekey->click();
    QVERIFY(offset->isEnabled() && form->currentsettings().usekey);
    usekey->click();
    QVERIFY(offset->isEnabled() && !form->currentsettings().usekey);
  }

  void testMultipleUrlsShowTheListWindowAndGreyTheUrl() {
    auto* single = c<QRadioButton>("singleurl");
    auto* multi = c<QRadioButton>("multiurl");
    auto* url = c<QLineEdit>("URLEdit");
    QVERIFY(single->isChecked() && switchedon(url) && !list->isVisible());
    multi->click();
    QVERIFY(list->isVisible());
    QVERIFY(switchedoff(url));
    QVERIFY(form->currentsettings().multipleurls);
    single->click();
    QVERIFY(!list->isVisible());
    QVERIFY(switchedon(url));
  }

  void testListWindowRefusesToClose() {
    c<QRadioButton>("multiurl")->click();
    QVERIFY(!list->close());
    QVERIFY(list->isVisible());
    const Qt::WindowFlags f = list->windowFlags();
    QVERIFY(f.testFlag(Qt::WindowStaysOnTopHint));
    // Only the caption: no minimise, maximise or close button.
    QVERIFY(f.testFlag(Qt::CustomizeWindowHint) && f.testFlag(Qt::WindowTitleHint));
    QVERIFY(!f.testFlag(Qt::WindowMinimizeButtonHint) && !f.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!f.testFlag(Qt::WindowCloseButtonHint));
    QCOMPARE(list->windowType(), Qt::Tool);
    // A list window minimised by the window system comes back with its option.
    c<QRadioButton>("singleurl")->click();
    list->setWindowState(Qt::WindowMinimized);
    c<QRadioButton>("multiurl")->click();
    QVERIFY(list->isVisible());
    QVERIFY(!list->isMinimized());
  }

  // The ramp chart belongs to a ramp result, not to the option; it takes half of the panel.
  void testRampChartTakesHalfThePanel() {
    TResultCharts* charts = form->charts();
    ui(*form).PageControl2->setCurrentWidget(ui(*form).TabSheet6);
    QVERIFY(!charts->chart2()->isVisible());
    c<QCheckBox>("Ramp")->click();
    QVERIFY(!charts->chart2()->isVisible());
    charts->setChart2Title("Ramp test: http://127.0.0.1/");
    QVERIFY(charts->chart2()->isVisible());
    charts->resize(400, 500);
    QCOMPARE(charts->chart2()->height(), 250);
    charts->resize(400, 701);
    QCOMPARE(charts->chart2()->height(), 350);
    c<QCheckBox>("Ramp")->click();
    QVERIFY(charts->chart2()->isVisible());
    charts->setChart2Title(QString());
    QVERIFY(!charts->chart2()->isVisible());
  }

  void testTypingPastTheMaximumClamps() {
    struct TCase {
      const char* spin;
      const char* typed;
      int value;
    };
    for (const TCase& t : {TCase{"SpinEdit1", "30000", 20000}, TCase{"SpinEdit2", "99999", 65536},
                           TCase{"SpinEdit3", "12345", 10000}, TCase{"SpinEdit1", "1234", 1234}}) {
      auto* spin = c<QSpinBox>(t.spin);
      spin->setFocus();
      spin->selectAll();
      QTest::keyClicks(spin, t.typed);
      QTest::keyClick(spin, Qt::Key_Return);
      QCOMPARE(spin->value(), t.value);
      QCOMPARE(spin->text(), QString::number(t.value));
    }
  }

  // An entry out of range takes the nearest end, never the value the box held before, also when
  // "Start Test" is pressed with the entry unfinished; an empty key offset runs (and shows) 0.
  void testOutOfRangeEntriesTakeTheNearestValueAtStart() {
    TestSettings seen;
    form->onstart = [&] { seen = form->currentsettings(); };
    auto type = [&](const char* name, const char* text) {
      auto* spin = c<QSpinBox>(name);
      spin->setFocus();
      spin->selectAll();
      QTest::keyClicks(spin, text);
    };
    c<QSpinBox>("SpinEdit1")->setValue(20000);
    c<QSpinBox>("SpinEdit2")->setValue(7);
    type("SpinEdit1", "0");
    type("SpinEdit2", "0");
    type("SpinEdit3", "10001");
    c<QLineEdit>("offset")->setText("");
    // The keyboard accelerator presses the button without taking the focus from the field.
    c<QPushButton>("ExecButton")->click();
    QCOMPARE(seen.users, 1);
    QCOMPARE(seen.runs, 1);
    QCOMPARE(seen.waitperrun, 10000);
    QCOMPARE(seen.keyoffset, 0LL);
    QCOMPARE(c<QSpinBox>("SpinEdit1")->text(), QString("1"));
    QCOMPARE(c<QLineEdit>("offset")->text(), QString("0"));
    c<QLineEdit>("offset")->setText("-");
    type("SpinEdit1", "20001");
    c<QPushButton>("ExecButton")->click();
    QCOMPARE(seen.users, 20000);
    QCOMPARE(c<QLineEdit>("offset")->text(), QString("0"));
  }

  void testTheBrowserViewsCheckBoxStaysPut() {
    auto* box = c<QCheckBox>("CheckBox2");
    ui(*form).PageControl2->setCurrentWidget(ui(*form).TabSheet6);
    auto* tabs = c<QTabWidget>("PageControl1");
    tabs->setCurrentWidget(box->parentWidget());
    QApplication::processEvents();
    QVERIFY(box->isVisible());
    const QPoint at = box->pos();
    for (int i = 0; i < 2; ++i) {
      box->click();
      QApplication::processEvents();
      QCOMPARE(box->pos(), at);
    }
  }

  void testUrlFieldsStayEqual() {
    auto* url1 = c<QLineEdit>("url1");
    auto* urledit = c<QLineEdit>("URLEdit");
    auto* edit2 = c<QLineEdit>("Edit2");
    QTest::keyClicks(edit2, "http://127.0.0.1/a");
    QCOMPARE(urledit->text(), QString("http://127.0.0.1/a"));
    QCOMPARE(url1->text(), edit2->text());
    url1->setText("http://127.0.0.1/b");
    QCOMPARE(urledit->text(), url1->text());
    QCOMPARE(edit2->text(), url1->text());
    urledit->setText("x");
    QCOMPARE(url1->text(), QString("x"));
    QCOMPARE(edit2->text(), QString("x"));
  }

  void testSettingsSnapshotReadsEveryControl() {
    c<QLineEdit>("URLEdit")->setText("http://127.0.0.1:8080/p?q=@@");
    c<QCheckBox>("checkproxy")->click();
    c<QLineEdit>("proxy")->setText("127.0.0.2");
    c<QLineEdit>("port")->setText("3128");
    c<QCheckBox>("useusername")->click();
    c<QLineEdit>("username")->setText("joe");
    c<QLineEdit>("pw")->setText("secret");
    c<QCheckBox>("useagent")->click();
    c<QComboBox>("agent")->setEditText("Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)");
    c<QSpinBox>("SpinEdit1")->setValue(20000);
    c<QSpinBox>("SpinEdit2")->setValue(65536);
    c<QSpinBox>("SpinEdit3")->setValue(10000);
    c<QCheckBox>("Checkshowgraph")->click();
    c<QCheckBox>("Checkcookie")->click();
    c<QCheckBox>("usekey")->click();
    c<QLineEdit>("offset")->setText("-9000000000");
    c<QCheckBox>("Ramp")->click();
    c<QCheckBox>("usepost")->click();
    c<QLineEdit>("POSTDATA")->setText("a=1&b=2");
    c<QCheckBox>("HeaderCheckBox")->click();
    c<QCheckBox>("DataCheckBox")->click();
    c<QCheckBox>("onerroronlyCheckBox")->click();

    const TestSettings s = form->currentsettings();
    QCOMPARE(s.url, std::string("http://127.0.0.1:8080/p?q=@@"));
    QVERIFY(!s.multipleurls);
    QVERIFY(s.useproxy && s.proxy == "127.0.0.2" && s.proxyport == "3128");
    QVERIFY(s.useuser && s.username == "joe" && s.password == "secret" && !s.usersfromfile);
    QVERIFY(s.useagent && s.agent == "Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)");
    QCOMPARE(s.users, 20000);
    QCOMPARE(s.runs, 65536);
    QCOMPARE(s.waitperrun, 10000);
    QVERIFY(!s.exacttiming && s.preservecookies && s.simultaneous);
    QVERIFY(s.usekey);
    QCOMPARE(s.keyoffset, int64_t(-9000000000));
    QVERIFY(s.ramptest && s.usepost && s.postdata == "a=1&b=2");
    QVERIFY(s.writeheaders && s.writedata && s.onerroronly);

    // The spin controls keep their ranges.
    c<QSpinBox>("SpinEdit1")->setValue(0);
    c<QSpinBox>("SpinEdit3")->setValue(-1);
    QCOMPARE(form->currentsettings().users, 1);
    QCOMPARE(form->currentsettings().waitperrun, 0);
  }

  void testUrlLinesCountEmptyLines() {
    QVERIFY(form->urllines().empty());
    list->urllist()->setPlainText("http://127.0.0.1/1\n\nhttp://127.0.0.1/3");
    QCOMPARE(form->urllines(),
             (std::vector<std::string>{"http://127.0.0.1/1", "", "http://127.0.0.1/3"}));
    list->urllist()->setPlainText("\n\n");
    QCOMPARE(form->urllines().size(), size_t(2));
  }

  void testButtonsAndResultViews() {
    int starts = 0, aborts = 0;
    form->onstart = [&] { ++starts; };
    form->onabort = [&] { ++aborts; };
    ui(*form).PageControl2->setCurrentWidget(ui(*form).TabSheet6);
    ui(*form).ExecButton->click();
    ui(*form).AbortButton->click();
    QCOMPARE(starts, 1);
    QCOMPARE(aborts, 1);
    QCOMPARE(ui(*form).ExecButton->toolTip(), QString("Start the stress test!"));

    form->setresultsvisible(false);
    QVERIFY(!ui(*form).PageControl1->isVisible());
    QVERIFY(!form->charts()->chart1()->isVisible());
    form->setresultsvisible(true);
    QVERIFY(ui(*form).PageControl1->isVisible());
    QVERIFY(form->charts()->chart1()->isVisible());

    form->setstatustext("Starting...");
    QCOMPARE(form->statustext(), QString("Starting..."));
  }
};

QTEST_MAIN(FormOptionsTest)
#include "FormOptionsTest.moc"
