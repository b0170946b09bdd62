#pragma once
// A browser control scripted by the test: it records the operations the tabs call and fires the
// events the test asks for, so tab logic is checked without a browser engine.

#include <QStringList>
#include <QWidget>

#include "browser/BrowserControl.h"

class TFakeBrowser : public TBrowserControl {
 public:
  QWidget* widget() override { return &widget_; }
  void Navigate(const QString& url) override {
    if (!reject.isEmpty()) throw EBrowserError(reject.toStdString());
    calls << "Navigate " + url;
  }
  void Stop() override { calls << "Stop"; }
  void GoBack() override {
    if (history == 0) throw EBrowserError("There is no previous page to go back to");
    --history;
    calls << "GoBack";
  }
  void Refresh2(int level) override { calls << "Refresh2 " + QString::number(level); }
  bool Offline() const override { return offline; }

  // Fires before-navigate and returns whether the handler cancelled it.
  bool beforenavigate(const QString& url) {
    bool cancel = false;
    FireBeforeNavigate2(url, cancel);
    return cancel;
  }
  void begin() { FireDownloadBegin(); }
  void status(const QString& text) { FireStatusTextChange(text); }
  void progress(int p, int max) { FireProgressChange(p, max); }
  void downloadcomplete() { FireDownloadComplete(); }
  void documentcomplete() { FireDocumentComplete(); }

  QStringList calls;
  QString reject;  // when set, Navigate throws with this message
  int history = 0;
  bool offline = false;

 private:
  QWidget widget_;
};
