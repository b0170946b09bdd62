#pragma once
// TFirstResponseView: the browser view of a test's first response (the file temp.htm) on the
// result tab "Browserview (1st Req.)". The page comes from a server under test, so the view runs
// no scripts, reads no other local file and fetches nothing from the network.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "browser/BrowserControl.h"

class TFirstResponseView : public QWidget {
 public:
  // Without a browser the view makes its own sealed web engine view.
  explicit TFirstResponseView(std::unique_ptr<TBrowserControl> browser = nullptr,
                              QWidget* parent = nullptr);
  ~TFirstResponseView() override;

  TBrowserControl& browser() { return *WebBrowser_V11; }

  // Asked before every navigation; false cancels it. The window allows navigations while
  // "Show HTML-Results in Browser" is on or a test runs.
  std::function<bool()> allownavigation;

  // The directory temp.htm is written to, with its trailing separator; until set, the directory
  // a test would write to.
  void setfolder(const QString& folder) { folder_ = folder; }
  const QString& folder() const { return folder_; }

  // Navigates to url; an address the browser rejects leaves the view as it is.
  void Navigate(const QString& url);
  // Navigates to "file://" + folder + "temp.htm", whether or not the file exists.
  void showfile();

 private:
  std::unique_ptr<TBrowserControl> WebBrowser_V11;
  QString folder_;
};
