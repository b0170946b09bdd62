#pragma once
// TBrowseTab: the first tab, a web browser for finding the URL to test. Every navigation the
// browser begins becomes the URL to test, and with "Trace URLs" on it is also handed to ontrace,
// so browsing through a site records its URLs.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "browser/BrowserControl.h"

class TBrowseTab : public QWidget {
 public:
  // Without a browser the tab makes its own web engine view.
  explicit TBrowseTab(std::unique_ptr<TBrowserControl> browser = nullptr,
                      QWidget* parent = nullptr);
  ~TBrowseTab() override;

  TBrowserControl& browser() { return *WebBrowser2; }

  // Receives every traced URL, in the order the browser reports them.
  std::function<void(const QString& url)> ontrace;

  // "Go to URL", "Stop", "Back".
  void gotobuttonClick();
  void stopbuttonClick();
  void BackbuttonClick();

  QLineEdit* url1;
  QPushButton* gotobutton;
  QPushButton* stopbutton;
  QPushButton* Backbutton;
  QCheckBox* trace;
  QLabel* Label15;

 private:
  void WebBrowser2BeforeNavigate2(const QString& url);
  void WebBrowser2StatusTextChange(const QString& text);
  // Stop and Back report their errors the way the window reports any error.
  void showerror(const EBrowserError& e);

  std::unique_ptr<TBrowserControl> WebBrowser2;
};
