#pragma once
// THttpAsyForm: the main window. It holds the controls of the test settings, the result views
// and charts, and keeps the settings file; the engine reads the settings through
// currentsettings() and writes its lines into logmodel().

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringList>
#include <QTabWidget>
#include <QTextEdit>
#include <functional>
#include <string>
#include <vector>

#include "engine/TestSettings.h"
#include "gui/CaptionPanel.h"
#include "gui/Charts.h"
#include "gui/LogViews.h"
#include "gui/urllistwindow.h"
#include "results/LogModel.h"
#include "results/TestReport.h"
#include "settings/StoredSettings.h"

class TBrowseTab;
class TDownloadTab;
class TFirstResponseView;

class THttpAsyForm;

// Closing the main window ends the program's event loop, whatever other window is open.
void quitonclose(THttpAsyForm& form);

class THttpAsyForm : public QMainWindow {
  Q_OBJECT
 public:
  // The largest font, in points, the window's designed size holds.
  static constexpr double kDesignFontPoints = 8;

  // arguments as the program got them: the first names the program (and so the settings file),
  // the second, if given, is the URL to test at every show. urllistwin must outlive the form.
  THttpAsyForm(Turllistwin& urllistwin, const QStringList& arguments, QWidget* parent = nullptr);
  ~THttpAsyForm() override;

  // A fresh snapshot of every setting control.
  TestSettings currentsettings() const;
  // The lines of the multiple-URL list (empty lines count).
  std::vector<std::string> urllines() const;
  // Finishes what is being typed in the number fields, as leaving them would: an entry out of
  // range becomes the nearest allowed value, an empty key offset 0. "Start Test" and the close
  // call it before the settings are read.
  void commitentries();
  // Sets the "Use data from users.txt" option (its handler runs).
  void setusersfromfile(bool on);

  TLogModel& logmodel() { return logmodel_; }
  // Brings the log views up to date now instead of at the next timer tick.
  void synclogviews() { mirror_->sync(); }
  // Brings the log views up to date in batches, a pass of the event loop each: the window stays
  // responsive while a long log is shown.
  void catchuplogviews() { mirror_->catchup(); }
  // While hold() is true the log views are not brought up to date on their own (a run is being
  // timed); nullptr lets them follow the log again.
  void holdlogviews(std::function<bool()> hold) { mirror_->setholdwhile(std::move(hold)); }

  // First panel of the status bar.
  void setstatustext(const QString& text);
  QString statustext() const;
  // The report of the test the views show, as "Print Report" prints it.
  TTestReport testreport() const;

  QPushButton* execbutton() const { return ExecButton; }
  QPushButton* abortbutton() const { return AbortButton; }
  // Called by "Start Test" and "A&bort Test" when set.
  std::function<void()> onstart, onabort;

  TResultCharts* charts() const { return Panel3; }
  // Shows or hides Chart1 and the result tabs; Panel2's caption shows while they are hidden.
  void setresultsvisible(bool visible);

  QPlainTextEdit* sourceview() const { return Memo1; }
  QPlainTextEdit* headersview() const { return Memo2; }

  // The folder the user chose for the log files and temp.htm ("Log Folder..."), kept in the
  // settings file; empty for the program's directory or its fallback.
  const QString& logfolder() const { return logfolder_; }
  void setlogfolder(const QString& folder);
  // "Log Folder...": asks for the folder.
  void LogFolderButtonClick();

  // Where the settings are kept (derived from the program's name).
  const std::string& settingsfile() const { return settingsfile_; }

  // Option handlers: keep dependent fields enabled and painted to match their option.
  void checkproxyClick();
  void useusernameClick();
  void useagentClick();
  void usepostClick();
  void singleurlClick();
  void RampClick();
  // Every option handler once, so the dependent fields match their options.
  void runoptionhandlers();
  // Puts the URL list window beside the main window, on the side with more room on the screen,
  // narrower if need be; where neither side has room for its minimum the window system places it.
  void placeurllistwin();

 signals:
  // The window was closed and the settings were written.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;    // FormShow
  void closeEvent(QCloseEvent* event) override;  // FormClose

 private:
  // Layout (HttpAsy1Layout.cpp).
  void buildwindow();
  QWidget* buildbrowsetab();
  QWidget* buildloadtesttab();
  QWidget* buildsettingspanel();
  QWidget* buildresultarea();
  QWidget* builddownloadtab();
  void connecthandlers();
  void connectbrowserview();

  // Settings file (HttpAsy1Settings.cpp).
  void applystored(const TStoredSettings& s);
  TStoredSettings collectstored() const;
  void FormShow();
  bool FormClose();

  // Keeps url1, URLEdit and Edit2 equal; a field is written only when its text differs.
  void syncurl(const QString& text);

  Turllistwin& urllistwin_;
  QStringList arguments_;
  std::string settingsfile_;
  bool settingsloaded_ = false;
  bool urllistplaced_ = false;  // the URL list window has a position of its own
  bool applying_ = false;       // the stored settings are being applied
  QString logfolder_;
  TLogModel logmodel_;
  TLogMirror* mirror_ = nullptr;

 public:
  // The controls, named as the rest of the program and the tests know them.
  QLabel* StatusText = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* TabSheet8 = nullptr;
  QWidget* TabSheet6 = nullptr;
  QWidget* TabSheet7 = nullptr;
  QLineEdit* url1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QWidget* Panel4 = nullptr;
  QLabel* Panel6 = nullptr;
  QRadioButton* singleurl = nullptr;
  QRadioButton* multiurl = nullptr;
  QLineEdit* URLEdit = nullptr;
  QCheckBox* checkproxy = nullptr;
  QLineEdit* proxy = nullptr;
  QLineEdit* port = nullptr;
  QCheckBox* useusername = nullptr;
  QLineEdit* username = nullptr;
  QLineEdit* pw = nullptr;
  QCheckBox* loadusernames = nullptr;
  QCheckBox* useagent = nullptr;
  QComboBox* agent = nullptr;
  QCheckBox* usepost = nullptr;
  QLineEdit* POSTDATA = nullptr;
  QSpinBox* SpinEdit1 = nullptr;
  QSpinBox* SpinEdit2 = nullptr;
  QSpinBox* SpinEdit3 = nullptr;
  QCheckBox* Checkshowgraph = nullptr;
  QCheckBox* Checkcookie = nullptr;
  QCheckBox* SimultCheckBox = nullptr;
  QCheckBox* usekey = nullptr;
  QLineEdit* offset = nullptr;
  QCheckBox* Ramp = nullptr;
  QCheckBox* HeaderCheckBox = nullptr;
  QCheckBox* DataCheckBox = nullptr;
  QCheckBox* onerroronlyCheckBox = nullptr;
  QPushButton* ExecButton = nullptr;
  QPushButton* AbortButton = nullptr;
  QPushButton* Button2 = nullptr;  // "Print Report"
  QPushButton* LogFolderButton = nullptr;
  TCaptionPanel* Panel2 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet4 = nullptr;
  TResultCharts* Panel3 = nullptr;
  QTextEdit* datamemo = nullptr;
  QPlainTextEdit* DisplayMemo = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QLineEdit* label3 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  // The browser tools: the browse tab, the download-time tab and the first response's view.
  TBrowseTab* browsetab = nullptr;
  TDownloadTab* downloadtab = nullptr;
  TFirstResponseView* WebBrowser_V11 = nullptr;
};
