#pragma once
// TDownloadTab: the third tab, which measures how long a real browser takes to fetch a complete
// page with its pictures: step 1 loads it (from the server or the browser's cache), step 2
// reloads it bypassing every cache. Both are timed, and what the browser reports is written to a
// time-stamped protocol.
//
// The measurement keeps its own clock base, so a load test running at the same time and this
// measurement never move each other's clock.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "browser/BrowserControl.h"

class TDownloadTab : public QWidget {
 public:
  // Without a browser the tab makes its own web engine view.
  explicit TDownloadTab(std::unique_ptr<TBrowserControl> browser = nullptr,
                        QWidget* parent = nullptr);
  ~TDownloadTab() override;

  TBrowserControl& browser() { return *WebBrowser1; }

  // "Start Test": step 1. "A&bort Test": stops the browser in whichever step it is.
  void StartLoad();
  void Button7Click();

  // The protocol's time stamp: the time of day in the user's format. Tests may replace it.
  std::function<std::string()> timestamp;

  // Measurement state: starts of step 1 and 2 in whole milliseconds of this tab's clock
  // (reloadstart is 0 while step 1 runs), step 2 still to come, the previous status text.
  int64_t loadstart = 0;
  int64_t reloadstart = 0;
  bool reloadpending = false;
  QString laststatustext;

  QLineEdit* Edit2;
  QPushButton* Button6;
  QPushButton* Button7;
  QLabel* Label12;
  QLabel* Label11;
  QPlainTextEdit* Memo3;

 private:
  void WebBrowser1DocumentComplete();
  void WebBrowser1StatusTextChange(const QString& text);
  void WebBrowser1ProgressChange(int progress, int progressmax);
  void WebBrowser1DownloadComplete();

  // Milliseconds since this tab's clock base.
  long double elapsed() const;
  bool instep2() const { return reloadstarted_; }
  void protocol(const QString& text);

  std::unique_ptr<TBrowserControl> WebBrowser1;
  int64_t clockbase_ = 0;
  bool reloadstarted_ = false;
  // After an abort the stopped load's late reports must not overwrite "Canceled"; the next load
  // the browser begins ends the silence.
  bool aborted_ = false;
};
