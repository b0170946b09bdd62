#pragma once
// THttpAsyForm: the main window. It holds the controls of the test settings, the result views
// and charts, and keeps the settings file. The engine's host sees it through TWindowView; the
// controls are its own, found by their object names where a test needs one.

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
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
#include "gui/LogViews.h"
#include "gui/ResultCharts.h"
#include "gui/WindowView.h"
#include "gui/urllistwindow.h"
#include "results/LogModel.h"
#include "results/TestReport.h"
#include "settings/StoredSettings.h"

struct TSetting;
class TBrowseTab;
class TDownloadTab;
class TFirstResponseView;

class THttpAsyForm;

// Closing the main window ends the program's event loop, whatever other window is open.
void quitonclose(THttpAsyForm& form);

class THttpAsyForm : public QMainWindow, public TWindowView {
  Q_OBJECT
 public:
  // The largest font, in points, the window's designed size holds.
  static constexpr double kDesignFontPoints = 8;

  // arguments as the program got them: the first names the program (and so the settings file),
  // the second, if given, is the URL to test at every show. urllistwin must outlive the form.
  THttpAsyForm(Turllistwin& urllistwin, const QStringList& arguments, QWidget* parent = nullptr);
  ~THttpAsyForm() override;

  // TWindowView
  TestSettings currentsettings() const override;
  TRequestOptions requestoptions() const override;
  std::vector<std::string> urllines() const override;
  void setusersfromfile(bool on) override;
  const QString& outputdir() const override { return logfolder_; }
  TLogModel& logmodel() override { return logmodel_; }
  void synclogviews() override { mirror_->sync(); }
  void catchuplogviews() override { mirror_->catchup(); }
  void showlogviewsfromtop() override { mirror_->showfromtop(); }
  void closelater() override;
  void holdlogviews(std::function<bool()> hold) override { mirror_->setholdwhile(std::move(hold)); }
  void setstatustext(const QString& text) override;
  void setstartenabled(bool on) override;
  TResultCharts* charts() const override { return Panel3; }
  // Panel2's caption shows while the results are hidden.
  void setresultsvisible(bool visible) override;
  void setsourcetext(const QString& text) override;
  void setheadertext(const QString& text) override;
  void setbrowserlabel(const QString& text) override;
  void navigatebrowser(const QString& folder, const QString& url) override;
  QWidget* dialogparent() override { return this; }
  void setopenedresult(const QString& path) override;

  // Finishes what is being typed in the number fields, as leaving them would: an entry out of
  // range becomes the nearest allowed value, an empty key offset 0. "Start Test" and the close
  // call it before the settings are read.
  void commitentries();
  // First panel of the status bar.
  QString statustext() const;
  // The report of the test the views show, as "Print Report" prints it.
  TTestReport testreport() const;

  // The folder the user chose for the log files and temp.htm ("Log Folder..."), kept in the
  // settings file; empty for the program's directory or its fallback (outputdir()).
  void setlogfolder(const QString& folder);
  // "Log Folder...": asks for the folder.
  void LogFolderButtonClick();
  // "Open Results…" and "Save Results…": ask for the file, then hand it to the host.
  void OpenResultsClick();
  void SaveResultsClick();

  // Where the settings are kept (derived from the program's name).
  const std::string& settingsfile() const { return settingsfile_; }

  // Option handlers: the URL list window shows with "multiple URLs". The fields that depend on an
  // option follow it by the settings model (followswitch()).
  void multiurlClick();
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
  // The row of https trust beside the URL's caption: the CA file with its chooser, and
  // "Accept any certificate".
  QHBoxLayout* buildtlsrow();
  QWidget* buildresultarea();
  QWidget* builddownloadtab();
  void connecthandlers();
  // Settings that depend on an option: their controls follow its control (HttpAsy1Settings.cpp).
  void bindswitches();
  void followswitch(const TSetting& e);
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
  // The file of the opened result the views show; empty for a test run here.
  QString openedpath_;
  TLogModel logmodel_;
  TLogMirror* mirror_ = nullptr;

  // The controls, each with its member name as its object name (the tests find them by it).
  QLabel* StatusText = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* TabSheet8 = nullptr;
  QWidget* TabSheet6 = nullptr;
  QWidget* TabSheet7 = nullptr;
  QLineEdit* url1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QWidget* Panel4 = nullptr;
  QLabel* Panel6 = nullptr;
  QRadioButton* multiurl = nullptr;
  QLineEdit* URLEdit = nullptr;
  QLineEdit* pw = nullptr;
  QCheckBox* loadusernames = nullptr;
  QSpinBox* SpinEdit1 = nullptr;
  QSpinBox* SpinEdit2 = nullptr;
  QSpinBox* SpinEdit3 = nullptr;
  QCheckBox* Checkshowgraph = nullptr;
  QCheckBox* Checkcookie = nullptr;
  QCheckBox* SimultCheckBox = nullptr;
  QLineEdit* offset = nullptr;
  QCheckBox* Ramp = nullptr;
  QCheckBox* HeaderCheckBox = nullptr;
  QCheckBox* DataCheckBox = nullptr;
  QCheckBox* onerroronlyCheckBox = nullptr;
  QPushButton* ExecButton = nullptr;
  QPushButton* AbortButton = nullptr;
  QPushButton* Button2 = nullptr;  // "Print Report"
  QPushButton* OpenResultsButton = nullptr;
  QPushButton* SaveResultsButton = nullptr;
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
  // The browser tools: the browse tab (TabSheet8), the download-time tab (TabSheet7) and the
  // first response's view.
  TBrowseTab* browsetab = nullptr;
  TDownloadTab* downloadtab = nullptr;
  TFirstResponseView* WebBrowser_V11 = nullptr;
};
