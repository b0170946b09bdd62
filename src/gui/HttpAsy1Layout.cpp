// Builds the controls of the main window: the three main tabs, the settings panel of the load
// test and the result area.

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

#include "browser/BrowseTab.h"
#include "browser/DownloadTab.h"
#include "browser/FirstResponseView.h"
#include "gui/AgentList.h"
#include "gui/HttpAsy1.h"
#include "gui/SpinEdit.h"

namespace {

template <class T>
T* named(T* w, const char* name, const QString& hint = {}) {
  w->setObjectName(name);
  if (!hint.isEmpty()) w->setToolTip(hint);
  return w;
}

QLabel* caption(const QString& text, QWidget* buddy) {
  auto* l = new QLabel(text);
  l->setBuddy(buddy);
  return l;
}

QSpinBox* spin(const char* name, int min, int max, int value) {
  auto* s = named(new TSpinEdit, name);
  s->setRange(min, max);
  s->setValue(value);
  return s;
}

QPlainTextEdit* memo(const char* name) {
  auto* m = named(new QPlainTextEdit, name);
  m->setReadOnly(true);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  return m;
}

}  // namespace

void THttpAsyForm::buildwindow() {
  StatusText = named(new QLabel, "StatusText");
  statusBar()->setObjectName("StatusBar1");
  statusBar()->addWidget(StatusText, 1);

  PageControl2 = named(new QTabWidget, "PageControl2");
  // Without scroll buttons a tab bar asks for room for every caption, so the window's minimum
  // width keeps each one readable instead of cutting the first or the last. The main captions
  // carry their own blanks, so their tabs need next to no padding to fit the design width.
  PageControl2->setUsesScrollButtons(false);
  PageControl2->tabBar()->setStyleSheet("QTabBar::tab { padding: 4px 1px; }");
  TabSheet8 = named(buildbrowsetab(), "TabSheet8");
  TabSheet6 = named(buildloadtesttab(), "TabSheet6");
  TabSheet7 = named(builddownloadtab(), "TabSheet7");
  PageControl2->addTab(TabSheet8, "   1st: Browse To A URL!   ");
  PageControl2->addTab(TabSheet6, "   2nd: Load Test The Server!   ");
  PageControl2->addTab(TabSheet7, "   3rd: Measure Client's Download Time!   ");
  setCentralWidget(PageControl2);
}

QWidget* THttpAsyForm::buildbrowsetab() {
  auto* tab = new TBrowseTab;
  url1 = tab->url1;
  // "Trace URLs" records every URL the browser visits into the multiple-URL list.
  tab->ontrace = [this](const QString& url) { urllistwin_.appendlines({url}); };
  browsetab = tab;
  return tab;
}

QWidget* THttpAsyForm::builddownloadtab() {
  downloadtab = new TDownloadTab;
  Edit2 = downloadtab->Edit2;
  return downloadtab;
}

QWidget* THttpAsyForm::buildloadtesttab() {
  auto* tab = new QWidget;
  // Tight margins and spacing: at the window's smallest size a ramp result's two charts need
  // every pixel of height the settings leave.
  auto* layout = new QVBoxLayout(tab);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(2);
  Panel4 = named(buildsettingspanel(), "Panel4");
  layout->addWidget(Panel4);
  Panel6 = named(new QLabel("Measure how long the web server works to create and transmit the "
                            "HTML (excluding graphics)!"),
                 "Panel6");
  Panel6->setAlignment(Qt::AlignCenter);
  Panel6->setWordWrap(true);
  Panel6->setFrameShape(QFrame::StyledPanel);
  layout->addWidget(Panel6);
  layout->addWidget(buildresultarea(), 1);
  return tab;
}

QWidget* THttpAsyForm::buildsettingspanel() {
  auto* panel = new QWidget;
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  int row = 0;

  URLEdit = named(new QLineEdit, "URLEdit");
  grid->addWidget(caption("URL to test:", URLEdit), row, 0);
  grid->addLayout(buildtlsrow(), row++, 1, 1, 3);
  auto* singleurl = named(new QRadioButton("single URL:"), "singleurl");
  singleurl->setChecked(true);
  grid->addWidget(singleurl, row, 0);
  grid->addWidget(URLEdit, row++, 1, 1, 3);
  multiurl = named(new QRadioButton("multiple URLs"), "multiurl");
  grid->addWidget(multiurl, row, 0);
  grid->addWidget(new QLabel("(the URLs of the \"Multiple URLs\" window)"), row++, 1, 1, 3);

  auto* checkproxy = named(new QCheckBox("Use Proxy:"), "checkproxy");
  auto* proxy = named(new QLineEdit, "proxy");
  auto* port = named(new QLineEdit, "port");
  grid->addWidget(checkproxy, row, 0);
  grid->addWidget(proxy, row, 1);
  grid->addWidget(caption("Port:", port), row, 2, Qt::AlignRight);
  grid->addWidget(port, row++, 3);

  auto* useusername = named(new QCheckBox("Use User:"), "useusername");
  auto* username = named(new QLineEdit, "username");
  pw = named(new QLineEdit, "pw");
  pw->setEchoMode(QLineEdit::Password);
  pw->setStyleSheet("lineedit-password-character: 42");
  grid->addWidget(useusername, row, 0);
  grid->addWidget(username, row, 1);
  grid->addWidget(caption("Password:", pw), row, 2, Qt::AlignRight);
  grid->addWidget(pw, row++, 3);
  loadusernames =
      named(new QCheckBox("Use data from \"users.txt\""), "loadusernames",
            "Users.txt must contain one username/pw combination per line, separated by @@");
  grid->addWidget(loadusernames, row++, 1, 1, 3);

  auto* useagent = named(new QCheckBox("Use Agent:"), "useagent");
  auto* agent = named(new QComboBox, "agent");
  agent->setEditable(true);
  agent->setInsertPolicy(QComboBox::NoInsert);
  agent->setMaxVisibleItems(24);
  agent->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  agent->setMinimumContentsLength(20);
  for (const auto& line : agentlines()) agent->addItem(QString::fromStdString(line));
  agent->setCurrentIndex(-1);
  agent->setEditText(QString());
  grid->addWidget(useagent, row, 0);
  grid->addWidget(agent, row++, 1, 1, 3);

  auto* usepost = named(new QCheckBox("POST-Data:"), "usepost");
  auto* POSTDATA = named(new QLineEdit, "POSTDATA");
  // A line edit keeps 32767 characters unless told otherwise: a longer body would be cut without
  // a word, here or when the settings file gives it back.
  POSTDATA->setMaxLength(std::numeric_limits<int>::max());
  grid->addWidget(usepost, row, 0);
  grid->addWidget(POSTDATA, row++, 1, 1, 3);

  SpinEdit1 = spin("SpinEdit1", kMinUsers, kMaxUsers, 5);
  SpinEdit2 = spin("SpinEdit2", kMinRuns, kMaxRuns, 1);
  SpinEdit3 = spin("SpinEdit3", kMinWait, kMaxWait, 0);
  auto* spins = new QHBoxLayout;
  spins->setSpacing(4);
  spins->addWidget(caption("Number of Users:", SpinEdit1));
  spins->addWidget(SpinEdit1, 1);
  spins->addSpacing(10);
  spins->addWidget(caption("Number of Runs:", SpinEdit2));
  spins->addWidget(SpinEdit2, 1);
  spins->addSpacing(10);
  spins->addWidget(caption("Wait per Run (s):", SpinEdit3));
  spins->addWidget(SpinEdit3, 1);
  grid->addLayout(spins, row++, 0, 1, 4);

  auto* usekey = named(new QCheckBox("Key Offset:"), "usekey");
  offset = named(new QLineEdit("0"), "offset");
  offset->setValidator(
      new QRegularExpressionValidator(QRegularExpression("-?[0-9]{0,18}"), offset));
  auto* keyhint = new QLabel("(@@ in URL is replaced with a number starting from offset)");
  grid->addWidget(usekey, row, 0);
  auto* key = new QHBoxLayout;
  key->setSpacing(6);
  key->addWidget(offset, 1);
  key->addWidget(keyhint);
  grid->addLayout(key, row++, 1, 1, 3);

  Checkshowgraph = named(new QCheckBox("Exact Timing / Hide Graphs"), "Checkshowgraph");
  Checkshowgraph->setChecked(true);
  Checkcookie = named(new QCheckBox("Preserve Cookies"), "Checkcookie",
                      "Preserves Cookies over several runs for simultanious requests");
  Ramp = named(new QCheckBox("Ramp-Test"), "Ramp");
  auto* checks = new QGridLayout;
  checks->setVerticalSpacing(3);
  checks->addWidget(Checkshowgraph, 0, 0);
  checks->addWidget(Checkcookie, 0, 1);
  checks->addWidget(Ramp, 0, 2);

  HeaderCheckBox = named(new QCheckBox("Write Headers To Log"), "HeaderCheckBox");
  DataCheckBox = named(new QCheckBox("Write Data To Log"), "DataCheckBox");
  onerroronlyCheckBox = named(new QCheckBox("Write On Error Only"), "onerroronlyCheckBox");
  checks->addWidget(HeaderCheckBox, 1, 0);
  checks->addWidget(DataCheckBox, 1, 1);
  checks->addWidget(onerroronlyCheckBox, 1, 2);
  grid->addLayout(checks, row++, 0, 1, 4);

  // Requests of a run always start together; the option stays for the settings file.
  SimultCheckBox = named(new QCheckBox("Simultaneous Requests", panel), "SimultCheckBox");
  SimultCheckBox->setChecked(true);
  SimultCheckBox->hide();

  ExecButton = named(new QPushButton("Start Test"), "ExecButton", "Start the stress test!");
  AbortButton = named(new QPushButton("A&bort Test"), "AbortButton");
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(6);
  buttons->addWidget(ExecButton);
  buttons->addWidget(AbortButton);
  Button2 = named(new QPushButton("Print Report"), "Button2");
  buttons->addWidget(Button2);
  OpenResultsButton = named(new QPushButton("Open Results…"), "OpenResultsButton",
                            "Shows a saved or merged result, to look at or print");
  buttons->addWidget(OpenResultsButton);
  SaveResultsButton = named(new QPushButton("Save Results…"), "SaveResultsButton",
                            "Saves the result shown as JSON, as the command line writes it");
  buttons->addWidget(SaveResultsButton);
  LogFolderButton = named(new QPushButton("Log Folder..."), "LogFolderButton");
  buttons->addWidget(LogFolderButton);
  buttons->addStretch(1);
  grid->addLayout(buttons, row++, 0, 1, 4);
  grid->setColumnStretch(1, 3);
  grid->setColumnStretch(3, 1);
  return panel;
}

QHBoxLayout* THttpAsyForm::buildtlsrow() {
  // What https connections trust, beside the URL's caption where the row has room to spare.
  auto* cafile = named(new QLineEdit, "cafile",
                       "https: a PEM file of CAs to trust beside the system's certificate store");
  auto* choose = named(new QToolButton, "CAFileButton", "Choose the CA file");
  choose->setText("...");
  connect(choose, &QToolButton::clicked, this, [this, cafile] {
    const QString start = cafile->text().isEmpty() ? QString() : QFileInfo(cafile->text()).path();
    const QString file = QFileDialog::getOpenFileName(this, "CA File", start,
                                                      "Certificates (*.pem *.crt);;All files (*)");
    if (!file.isEmpty()) cafile->setText(file);
  });
  auto* insecure = named(new QCheckBox("Accept any certificate"), "insecure",
                         "https: no certificate is checked, for any name; for test servers only");
  auto* resume = named(new QCheckBox("Resume sessions"), "tlsresume",
                       "https: each user resumes its TLS session of its previous run in later "
                       "runs, as a returning visitor does; off, every request is a full handshake");
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  row->addStretch(1);
  row->addWidget(caption("CA file:", cafile));
  row->addWidget(cafile, 2);
  row->addWidget(choose);
  row->addSpacing(6);
  row->addWidget(insecure);
  row->addWidget(resume);
  return row;
}

QWidget* THttpAsyForm::buildresultarea() {
  Panel2 = named(new TCaptionPanel("Pressbolt is working..."), "Panel2");
  auto* layout = new QVBoxLayout(Panel2);
  layout->setContentsMargins(0, 0, 0, 0);
  PageControl1 = named(new QTabWidget, "PageControl1");
  PageControl1->setUsesScrollButtons(false);
  // Six captions share the designed width: a slim padding shows them all.
  PageControl1->tabBar()->setStyleSheet("QTabBar::tab { padding: 4px 6px; }");
  layout->addWidget(PageControl1);

  Panel3 = new TResultCharts;
  TabSheet4 = named(new QWidget, "TabSheet4");
  auto* graph = new QVBoxLayout(TabSheet4);
  graph->setContentsMargins(0, 0, 0, 0);
  graph->addWidget(Panel3);
  PageControl1->addTab(TabSheet4, "Graph");

  datamemo = named(new QTextEdit, "datamemo");
  datamemo->setReadOnly(true);
  datamemo->setLineWrapMode(QTextEdit::NoWrap);
  datamemo->setAcceptRichText(true);
  PageControl1->addTab(datamemo, "Results");

  DisplayMemo = memo("DisplayMemo");
  PageControl1->addTab(DisplayMemo, "Log");

  auto* browserview = named(new QWidget, "TabSheet1");
  auto* bl = new QVBoxLayout(browserview);
  CheckBox2 = named(new QCheckBox("Show HTML-Results in Browser"), "CheckBox2");
  CheckBox2->setChecked(true);
  label3 = named(new QLineEdit, "label3");
  label3->setReadOnly(true);
  label3->hide();
  bl->addWidget(CheckBox2);
  bl->addWidget(label3);
  WebBrowser_V11 = new TFirstResponseView;
  bl->addWidget(WebBrowser_V11, 1);
  // Takes the room of the hidden browser, so the check box stays where the user clicked it.
  bl->addStretch(0);
  PageControl1->addTab(browserview, "Browserview (1st Req.)");

  Memo1 = memo("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  PageControl1->addTab(Memo1, "Source (1st Req.)");
  Memo2 = memo("Memo2");
  Memo2->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  PageControl1->addTab(Memo2, "Rcvd Headers (1st Req.)");
  return Panel2;
}
