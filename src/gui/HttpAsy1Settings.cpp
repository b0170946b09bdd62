// The main window's settings file: read and applied at the first show, written at every close.

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "gui/HttpAsy1.h"

namespace {

// A stored coordinate replaces the current one; a missing one keeps it.
QRect storedgeometry(const TWindowGeometry& g, QRect current) {
  return QRect(g.left.value_or(current.x()), g.top.value_or(current.y()),
               g.width.value_or(current.width()), g.height.value_or(current.height()));
}

// The client area: what setGeometry() restores exactly, where a frame's size would depend on the
// window system and make a stored position creep at every start.
TWindowGeometry geometryof(const QWidget& w) {
  TWindowGeometry g;
  g.left = w.geometry().x();
  g.top = w.geometry().y();
  g.width = w.width();
  g.height = w.height();
  return g;
}

QString qs(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

void THttpAsyForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void THttpAsyForm::FormShow() {
  if (!settingsloaded_) {
    settingsloaded_ = true;
    applying_ = true;
    applystored(readstoredsettings(settingsfile_));
    applying_ = false;
  }
  ExecButton->setEnabled(true);
  PageControl1->setCurrentWidget(TabSheet4);
  if (arguments_.size() > 1) URLEdit->setText(arguments_.at(1));
}

void THttpAsyForm::applystored(const TStoredSettings& s) {
  // Every value goes through its control as if the user had set it, so the option handlers run
  // (the toggled signals) and the URL fields follow URLEdit.
  URLEdit->setText(qs(s.url));
  username->setText(qs(s.username));
  agent->setEditText(qs(s.agent));
  pw->clear();
  proxy->setText(qs(s.proxy));
  POSTDATA->setText(qs(s.postdata));
  port->setText(qs(s.proxyport));
  // The two radio buttons are exclusive: "multiple URLs" wins only when it alone is stored on.
  singleurl->setChecked(s.singleurl || !s.multiurl);
  multiurl->setChecked(s.multiurl && !s.singleurl);
  HeaderCheckBox->setChecked(s.writeheaders);
  DataCheckBox->setChecked(s.writedata);
  onerroronlyCheckBox->setChecked(s.onerroronly);
  // Requests of a run always start together, whatever was stored.
  SimultCheckBox->setChecked(true);
  checkproxy->setChecked(s.useproxy);
  useusername->setChecked(s.useuser);
  loadusernames->setChecked(s.usersfromfile && s.useuser);
  useagent->setChecked(s.useagent);
  usepost->setChecked(s.usepost);
  Checkshowgraph->setChecked(s.exacttiming);
  Checkcookie->setChecked(s.preservecookies);
  Ramp->setChecked(s.ramptest);
  SpinEdit1->setValue(s.users);
  SpinEdit2->setValue(s.runs);
  SpinEdit3->setValue(s.waitperrun);
  CheckBox2->setChecked(s.showbrowser);
  setlogfolder(QString::fromStdString(s.logfolder));
  // A handler whose option kept its value saw no toggle: run each once more.
  runoptionhandlers();

  QStringList urls;
  for (const auto& u : s.urllist)
    if (!u.empty()) urls << qs(u);
  if (!urls.isEmpty()) urllistwin_.appendlines(urls);

  const QRect main = storedgeometry(s.mainwindow, QRect(pos(), size()));
  resize(main.size());
  // The stored size counts; the position is always the centre of the screen.
  if (QScreen* screen = this->screen()) {
    const QRect avail = screen->availableGeometry();
    QRect centred(QPoint(), frameGeometry().size());
    centred.moveCenter(avail.center());
    // A window taller or wider than the screen keeps its title bar reachable.
    move(std::max(centred.left(), avail.left()), std::max(centred.top(), avail.top()));
  }
  const QRect list = storedgeometry(s.urlwindow, urllistwin_.geometry());
  urllistwin_.resize(list.size());
  // A stored position counts when it is on a screen; otherwise the window goes beside the main
  // window.
  if (s.urlwindow.left && s.urlwindow.top && QGuiApplication::screenAt(list.center()) != nullptr) {
    urllistwin_.setGeometry(list);
    urllistplaced_ = true;
  } else if (urllistwin_.isVisible()) {
    placeurllistwin();
  }
}

TStoredSettings THttpAsyForm::collectstored() const {
  TStoredSettings s;
  s.url = URLEdit->text().toStdString();
  s.username = username->text().toStdString();
  s.agent = agent->currentText().toStdString();
  s.proxy = proxy->text().toStdString();
  s.postdata = POSTDATA->text().toStdString();
  s.proxyport = port->text().toStdString();
  s.singleurl = singleurl->isChecked();
  s.multiurl = multiurl->isChecked();
  s.writeheaders = HeaderCheckBox->isChecked();
  s.writedata = DataCheckBox->isChecked();
  s.onerroronly = onerroronlyCheckBox->isChecked();
  s.simultaneous = SimultCheckBox->isChecked();
  s.useproxy = checkproxy->isChecked();
  s.useuser = useusername->isChecked();
  s.usersfromfile = loadusernames->isChecked();
  s.useagent = useagent->isChecked();
  s.usepost = usepost->isChecked();
  s.preservecookies = Checkcookie->isChecked();
  s.ramptest = Ramp->isChecked();
  s.exacttiming = Checkshowgraph->isChecked();
  s.showbrowser = CheckBox2->isChecked();
  s.logfolder = logfolder_.toStdString();
  s.users = SpinEdit1->value();
  s.runs = SpinEdit2->value();
  s.waitperrun = SpinEdit3->value();
  s.mainwindow = geometryof(*this);
  s.urlwindow = geometryof(urllistwin_);
  for (const QString& l : urllistwin_.lines()) s.urllist.push_back(l.toStdString());
  return s;
}

bool THttpAsyForm::FormClose() {
  commitentries();
  std::string error;
  if (writestoredsettings(settingsfile_, collectstored(), error)) return true;
  QMessageBox::critical(this, windowTitle(), qs(error));
  return false;
}

void THttpAsyForm::closeEvent(QCloseEvent* event) {
  // Settings that cannot be written are reported and lost: refusing the close instead would
  // leave a window that can never be closed.
  FormClose();
  event->accept();
  emit closed();
}

void THttpAsyForm::setlogfolder(const QString& folder) {
  logfolder_ = folder;
  LogFolderButton->setToolTip(folder.isEmpty()
                                  ? QString("Log files go to the program's folder (or, when it "
                                            "cannot be written, to ~/.local/share/pressbolt)")
                                  : "Log files go to " + folder);
}

void THttpAsyForm::LogFolderButtonClick() {
  const QString start = logfolder_.isEmpty() ? QDir::homePath() : logfolder_;
  const QString chosen = QFileDialog::getExistingDirectory(this, "Folder for the log files", start);
  if (!chosen.isEmpty()) setlogfolder(chosen);
}
