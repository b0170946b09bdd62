// The main window's settings: the settings file, read and applied at the first show and written at
// every close, and the controls that follow the option they depend on.

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSpinBox>

#include "gui/HttpAsy1.h"
#include "results/LogFile.h"
#include "settings/SettingsModel.h"

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

// A text setting's control: a line edit, or a combo box's edit text.
void showtext(QWidget* w, const std::string& text) {
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    combo->setEditText(qs(text));
  } else {
    qobject_cast<QLineEdit*>(w)->setText(qs(text));
  }
}

QString textof(const QWidget* w) {
  if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
  return qobject_cast<const QLineEdit*>(w)->text();
}

// The setting's value shown by its control, as if the user had set it, so the control's
// handlers run (the toggled signals) and the URL fields follow URLEdit.
void showsetting(QWidget* w, const TSetting& e, const TStoredSettings& s) {
  switch (e.kind) {
    case TSettingKind::flag:
      qobject_cast<QAbstractButton*>(w)->setChecked(s.*e.flag);
      break;
    case TSettingKind::number:
      qobject_cast<QSpinBox*>(w)->setValue(s.*e.number);
      break;
    case TSettingKind::bignumber:
      qobject_cast<QLineEdit*>(w)->setText(QString::number(s.*e.bignumber));
      break;
    case TSettingKind::text:
      showtext(w, s.*e.text);
      break;
  }
}

void takesetting(const QWidget* w, const TSetting& e, TStoredSettings& s) {
  switch (e.kind) {
    case TSettingKind::flag:
      s.*e.flag = qobject_cast<const QAbstractButton*>(w)->isChecked();
      break;
    case TSettingKind::number:
      s.*e.number = qobject_cast<const QSpinBox*>(w)->value();
      break;
    case TSettingKind::bignumber:
      s.*e.bignumber = qobject_cast<const QLineEdit*>(w)->text().toLongLong();
      break;
    case TSettingKind::text:
      s.*e.text = textof(w).toStdString();
      break;
  }
}

// Enabled fields are painted in the window colour, disabled ones in the button-face colour, so
// an option's fields look switched off.
void paintfield(QWidget* w, bool windowcolour) {
  QPalette p = w->palette();
  const QPalette app = QApplication::palette();
  p.setColor(QPalette::Base, app.color(windowcolour ? QPalette::Base : QPalette::Button));
  w->setPalette(p);
}

// The button of a flag setting.
QAbstractButton* buttonof(const QWidget& form, bool TStoredSettings::*flag) {
  return qobject_cast<QAbstractButton*>(form.findChild<QWidget*>(settingof(flag)->control));
}

// A control that follows the option its setting depends on.
bool follows(const TSetting& e) {
  return e.control != nullptr && e.switchedby != nullptr && e.formgreys;
}

// Every setting that has a control, as the controls show it.
TStoredSettings shownsettings(const QWidget& form) {
  TStoredSettings s;
  for (const TSetting& e : settingsmodel()) {
    if (e.control != nullptr) takesetting(form.findChild<QWidget*>(e.control), e, s);
  }
  return s;
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

void THttpAsyForm::applystored(const TStoredSettings& stored) {
  // A dependent option stored on without its own goes off with it as it is shown (followswitch).
  const TStoredSettings s = settledurlchoice(stored);
  pw->clear();
  for (const TSetting& e : settingsmodel()) {
    if (e.key != nullptr && e.control != nullptr) showsetting(findChild<QWidget*>(e.control), e, s);
  }
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
  QScreen* liston = QGuiApplication::screenAt(list.center());
  if (s.urlwindow.left && s.urlwindow.top && liston != nullptr) {
    urllistwin_.setGeometry(Turllistwin::keptinside(list, liston->availableGeometry()));
    urllistplaced_ = true;
  } else if (urllistwin_.isVisible()) {
    placeurllistwin();
  }
}

void THttpAsyForm::bindswitches() {
  for (const TSetting& e : settingsmodel()) {
    if (!follows(e)) continue;
    std::vector<QAbstractButton*> options = {buttonof(*this, e.switchedby)};
    if (e.overriddenby != nullptr) options.push_back(buttonof(*this, e.overriddenby));
    // A dependent option turned on while its own is off goes off again at once.
    if (e.kind == TSettingKind::flag) options.push_back(buttonof(*this, e.flag));
    for (QAbstractButton* option : options)
      connect(option, &QAbstractButton::toggled, this, [this, &e] { followswitch(e); });
  }
}

void THttpAsyForm::followswitch(const TSetting& e) {
  if (!follows(e)) return;
  const bool on = buttonof(*this, e.switchedby)->isChecked();
  if (e.kind == TSettingKind::flag) {
    QAbstractButton* button = buttonof(*this, e.flag);
    if (!on) button->setChecked(false);
    button->setEnabled(on);
    return;
  }
  // A value set aside (users.txt replaces the typed user) stays enabled but looks switched off.
  const bool overridden = e.overriddenby != nullptr && buttonof(*this, e.overriddenby)->isChecked();
  QWidget* field = findChild<QWidget*>(e.control);
  field->setEnabled(on);
  paintfield(field, on && !overridden);
}

TestSettings THttpAsyForm::currentsettings() const {
  return shownsettings(*this);
}

TStoredSettings THttpAsyForm::collectstored() const {
  TStoredSettings s = shownsettings(*this);
  s.logfolder = logfolder_.toStdString();
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
  if (onclose && !onclose()) {
    event->ignore();
    return;
  }
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
  // The dialog opens where the log files go now.
  const QString start = logfolder_.isEmpty() ? qs(::outputdir()) : logfolder_;
  QFileDialog dialog(this, "Folder for the log files", start);
  dialog.setObjectName("logfolder");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString chosen = dialog.selectedFiles().first();
  // Refused now rather than at the next start.
  std::string reason;
  if (!canwritein(chosen.toStdString(), reason)) {
    QMessageBox::critical(this, windowTitle(),
                          "The log files cannot be written to \"" + chosen + "\": " + qs(reason) +
                              ". Please choose another folder; the log folder stays " +
                              (logfolder_.isEmpty() ? qs(::outputdir()) : logfolder_) + ".");
    return;
  }
  setlogfolder(chosen);
}
