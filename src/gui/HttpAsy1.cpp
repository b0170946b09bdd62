#include "gui/HttpAsy1.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "browser/FirstResponseView.h"
#include "gui/PrintReport.h"
#include "settings/SettingsModel.h"

THttpAsyForm::THttpAsyForm(Turllistwin& urllistwin, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), urllistwin_(urllistwin), arguments_(arguments) {
  setObjectName("HttpAsyForm");
  // The window's designed size (565 by 784) was made for an 8-point font: a larger desktop font
  // would clip its captions, so the window's font is capped there. Points, not pixels, so that
  // printed documents in this font keep their size on paper.
  QFont design = font();
  if (design.pointSizeF() > kDesignFontPoints) {
    design.setPointSizeF(kDesignFontPoints);
    setFont(design);
  }
  buildwindow();
  connecthandlers();
  // FormCreate.
  PageControl2->setCurrentWidget(TabSheet8);
  mirror_ = new TLogMirror(logmodel_, DisplayMemo, datamemo, 100, this);
  settingsfile_ = settingspath(arguments_.isEmpty() ? std::string("pressbolt")
                                                    : arguments_.first().toStdString());
  const QString version = QApplication::applicationVersion();
  setWindowTitle("Pressbolt V" + (version.isEmpty() ? QString(PRESSBOLT_VERSION) : version));
  Panel3->setChart1Title(QString());
  Panel3->setChart2Title(QString());
  resize(565, 784);
  // The fields start as the options are: run every handler once.
  runoptionhandlers();
}

THttpAsyForm::~THttpAsyForm() = default;

void THttpAsyForm::runoptionhandlers() {
  for (const TSetting& e : settingsmodel()) followswitch(e);
  multiurlClick();
}

void THttpAsyForm::connecthandlers() {
  bindswitches();
  connect(multiurl, &QRadioButton::toggled, this, &THttpAsyForm::multiurlClick);
  for (QLineEdit* field : {url1, URLEdit, Edit2})
    connect(field, &QLineEdit::textChanged, this, &THttpAsyForm::syncurl);
  connect(ExecButton, &QPushButton::clicked, this, [this] {
    commitentries();
    if (onstart) onstart();
  });
  connect(AbortButton, &QPushButton::clicked, this, [this] {
    if (onabort) onabort();
  });
  // The engine reads these at each run's start; a change during a run is passed on at once.
  for (QCheckBox* box : {HeaderCheckBox, DataCheckBox, onerroronlyCheckBox, Checkcookie}) {
    connect(box, &QCheckBox::toggled, this, [this] {
      if (onoptionschanged) onoptionschanged();
    });
  }
  connect(LogFolderButton, &QPushButton::clicked, this, &THttpAsyForm::LogFolderButtonClick);
  connect(Button2, &QPushButton::clicked, this, [this] {
    QPrinter printer(QPrinter::HighResolution);
    Printreportclick(
        *this, [this] { return testreport(); }, printer);
  });
  connect(OpenResultsButton, &QPushButton::clicked, this, &THttpAsyForm::OpenResultsClick);
  connect(SaveResultsButton, &QPushButton::clicked, this, &THttpAsyForm::SaveResultsClick);
  connectbrowserview();
  for (TPlotWidget* chart :
       {static_cast<TPlotWidget*>(Panel3->chart1()), static_cast<TPlotWidget*>(Panel3->chart2())}) {
    chart->oncopied = [this] { setstatustext("Graph copied to the clipboard"); };
  }
}

void THttpAsyForm::connectbrowserview() {
  connect(CheckBox2, &QCheckBox::toggled, WebBrowser_V11, &QWidget::setVisible);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
    if (PageControl1->currentWidget() == WebBrowser_V11->parentWidget()) WebBrowser_V11->showfile();
  });
  // While a test runs ("Start Test" disabled) the engine's own navigations always go through.
  WebBrowser_V11->allownavigation = [this] {
    return CheckBox2->isChecked() || !ExecButton->isEnabled();
  };
}

void THttpAsyForm::multiurlClick() {
  if (!multiurl->isChecked()) {
    urllistwin_.hide();
    return;
  }
  // A list window minimised earlier comes back with its option.
  urllistwin_.setWindowState(urllistwin_.windowState() & ~Qt::WindowMinimized);
  // While the stored settings are applied the main window has not found its place yet.
  if (!urllistplaced_ && !applying_) placeurllistwin();
  urllistwin_.show();
  urllistwin_.raise();
}

void THttpAsyForm::placeurllistwin() {
  urllistplaced_ = urllistwin_.placebeside(*this);
}

void quitonclose(THttpAsyForm& form) {
  // QApplication::quit would first ask every window to close, and the URL list window refuses.
  QObject::connect(&form, &THttpAsyForm::closed, qApp, [] { QCoreApplication::exit(0); });
}

void THttpAsyForm::setopenedresult(const QString& path) {
  openedpath_ = path;
  if (!path.isEmpty()) {
    setstatustext("Opened results: " + QFileInfo(path).fileName());
    StatusText->setToolTip(path);
  } else {
    StatusText->setToolTip(QString());
  }
}

void THttpAsyForm::OpenResultsClick() {
  QFileDialog open(this, "Open Results", QString(), "Results (*.json);;All Files (*)");
  open.setObjectName("openresults");
  open.setFileMode(QFileDialog::ExistingFile);
  if (open.exec() == QDialog::Accepted && !open.selectedFiles().isEmpty() && onopenresults)
    onopenresults(open.selectedFiles().first());
}

void THttpAsyForm::closelater() {
  QTimer::singleShot(0, this, [this] { close(); });
}

void THttpAsyForm::SaveResultsClick() {
  // Nothing to save is said before a file name is asked for.
  if (oncansave && !oncansave()) return;
  QFileDialog save(this, "Save Results", QString(), "Results (*.json);;All Files (*)");
  save.setObjectName("saveresults");
  save.setAcceptMode(QFileDialog::AcceptSave);
  save.setFileMode(QFileDialog::AnyFile);
  save.setDefaultSuffix("json");
  if (save.exec() == QDialog::Accepted && !save.selectedFiles().isEmpty() && onsaveresults)
    onsaveresults(save.selectedFiles().first());
}

void THttpAsyForm::syncurl(const QString& text) {
  for (QLineEdit* field : {url1, URLEdit, Edit2})
    if (field->text() != text) field->setText(text);
}

TRequestOptions THttpAsyForm::requestoptions() const {
  return {HeaderCheckBox->isChecked(), DataCheckBox->isChecked(), onerroronlyCheckBox->isChecked(),
          Checkcookie->isChecked()};
}

std::vector<std::string> THttpAsyForm::urllines() const {
  std::vector<std::string> out;
  for (const QString& l : urllistwin_.lines()) out.push_back(l.toStdString());
  return out;
}

void THttpAsyForm::commitentries() {
  // A spin box still holding an unfinished entry (focus never left it) takes it now, clamped.
  for (QSpinBox* spin : {SpinEdit1, SpinEdit2, SpinEdit3}) spin->interpretText();
  // The key offset field accepts "" and "-" on the way to a number: the test uses 0 then, and
  // the field says so.
  bool number = false;
  offset->text().toLongLong(&number);
  if (!number) offset->setText("0");
}

void THttpAsyForm::setusersfromfile(bool on) {
  loadusernames->setChecked(on);
}

void THttpAsyForm::setstatustext(const QString& text) {
  StatusText->setText(text);
}

QString THttpAsyForm::statustext() const {
  return StatusText->text();
}

void THttpAsyForm::setstartenabled(bool on) {
  ExecButton->setEnabled(on);
}

void THttpAsyForm::setresultsvisible(bool visible) {
  Panel3->chart1()->setVisible(visible);
  PageControl1->setVisible(visible);
  Panel2->update();
}

void THttpAsyForm::setsourcetext(const QString& text) {
  Memo1->setPlainText(text);
}

void THttpAsyForm::setheadertext(const QString& text) {
  Memo2->setPlainText(text);
}

void THttpAsyForm::setbrowserlabel(const QString& text) {
  label3->setText(text);
}

void THttpAsyForm::navigatebrowser(const QString& folder, const QString& url) {
  if (!folder.isEmpty()) WebBrowser_V11->setfolder(folder);
  WebBrowser_V11->Navigate(url);
}

TTestReport THttpAsyForm::testreport() const {
  // What the views show: the charts' own copy of the chart data and the log they mirror.
  TTestReport r = ::testreport(Panel3->model(), logmodel_);
  r.openedfrom = openedpath_.toStdString();
  if (onphases) r.phases = onphases();
  return r;
}
