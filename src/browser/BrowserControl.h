#pragma once
// TBrowserControl: the embedded web-browser control as the browser tabs use it: a few operations
// and the events a page load reports. The tabs know only this class, so they can be driven by a
// scripted control in tests and by a real engine in the program.

#include <QString>
#include <QWidget>
#include <functional>
#include <stdexcept>

// A browser operation that could not be carried out; what() is the text shown to the user.
class EBrowserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TBrowserControl {
 public:
  virtual ~TBrowserControl() = default;

  // The widget that shows the pages; the tab places it in its layout.
  virtual QWidget* widget() = 0;

  // Starts loading url and returns at once; the load is reported through the events. Throws
  // EBrowserError when the URL is rejected (the current page stays).
  virtual void Navigate(const QString& url) = 0;
  // Stops loading the current page.
  virtual void Stop() = 0;
  // Loads the previous page of the history; throws EBrowserError when there is none.
  virtual void GoBack() = 0;
  // Level 3 fetches the page and all its parts again from the server, bypassing every cache; a
  // lower level reloads normally.
  virtual void Refresh2(int level) = 0;
  // True while the control works offline (it then fetches nothing from the network).
  virtual bool Offline() const = 0;

  // Events, in the order a page load fires them; each fires only when assigned.
  // Before every navigation the control begins (typed, link, redirect, form, each frame);
  // setting cancel prevents it.
  std::function<void(const QString& url, bool& cancel)> OnBeforeNavigate2;
  std::function<void()> OnDownloadBegin;
  std::function<void(const QString& text)> OnStatusTextChange;
  // Progress of the current download; progressmax may be 0.
  std::function<void(int progress, int progressmax)> OnProgressChange;
  std::function<void()> OnNavigateComplete2;
  // A download ended (finished, failed or stopped); may fire several times for one page.
  std::function<void()> OnDownloadComplete;
  // The document with its frames and pictures is complete.
  std::function<void()> OnDocumentComplete;

 protected:
  // Each event fires through one of these, so a control can be observed or scripted.
  virtual void FireBeforeNavigate2(const QString& url, bool& cancel) {
    if (OnBeforeNavigate2) OnBeforeNavigate2(url, cancel);
  }
  virtual void FireDownloadBegin() {
    if (OnDownloadBegin) OnDownloadBegin();
  }
  virtual void FireStatusTextChange(const QString& text) {
    if (OnStatusTextChange) OnStatusTextChange(text);
  }
  virtual void FireProgressChange(int progress, int progressmax) {
    if (OnProgressChange) OnProgressChange(progress, progressmax);
  }
  virtual void FireNavigateComplete2() {
    if (OnNavigateComplete2) OnNavigateComplete2();
  }
  virtual void FireDownloadComplete() {
    if (OnDownloadComplete) OnDownloadComplete();
  }
  virtual void FireDocumentComplete() {
    if (OnDocumentComplete) OnDocumentComplete();
  }
};
