#pragma once
// TWebEngineBrowser: TBrowserControl on Qt WebEngine. The engine has no status-text signal, so
// the status text is composed from the load states, the requests of the page and the hovered
// link; offline mode is a request filter that lets nothing out.

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <memory>

#include "browser/BrowserControl.h"
#include "browser/LoadingParts.h"

class QWebEngineProfile;

class TBrowserPage;
class TRequestFilter;

enum class TBrowserMode {
  // An ordinary browser: the shared profile with its cache, scripts, frames and pictures.
  normal,
  // A view of one local file from a server we do not trust: no scripts, a private profile, and
  // nothing is fetched but the file passed to Navigate (and "about:blank").
  sealed,
};

class TWebEngineBrowser : public TBrowserControl {
 public:
  explicit TWebEngineBrowser(TBrowserMode mode, QWidget* parent = nullptr);
  // Deletes the view and its page before a private profile, which must outlive them.
  ~TWebEngineBrowser() override;

  QWidget* widget() override;
  // Accepts http, https, file and about URLs; a text without a scheme is taken as http.
  void Navigate(const QString& url) override;
  void Stop() override;
  void GoBack() override;
  void Refresh2(int level) override;
  bool Offline() const override { return offline_; }
  // While offline every request but local files is refused.
  void setOffline(bool on) { offline_ = on; }

  QWebEngineView* view() const { return view_; }
  // Requests the filter refused, in order (what a sealed page tried to reach).
  const QList<QUrl>& blockedrequests() const { return blocked_; }

  // Sets QTWEBENGINE_DISABLE_SANDBOX when running as root, where the engine refuses to start
  // with its sandbox; must run before the first engine object exists (the constructor calls it).
  static void preparesandbox();

 private:
  friend class TBrowserPage;
  friend class TRequestFilter;
  bool acceptnavigation(const QUrl& url, bool mainframe);
  // Decides one request of the page; false blocks it. Also reports the parts of a page being
  // fetched as status text.
  bool allowrequest(const QUrl& url, bool mainframe, bool picture);
  void setstatus(const QString& text);
  void connectpage();
  // While parts of the page load, asks the page every kPartsPollMs which have arrived; when the
  // part the status names has, the status names the one begun last of those still loading.
  void pollparts();
  void partsarrived(const QStringList& urls);
  // A page load begins or ends: no part is loading.
  void forgetparts();

  TBrowserMode mode_;
  bool offline_ = false;
  bool hovering_ = false;  // the status text shows a hovered link
  static constexpr int kPartsPollMs = 100;
  TLoadingParts parts_;
  QUrl shownpart_;  // the part the status text names, if it names one
  QTimer partspoll_;
  int partsload_ = 0;  // counts page loads, so a late answer about an earlier one is dropped
  // Expires with the browser, so an answer that comes after it is dropped.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  QUrl allowed_;  // the one file a sealed view may load
  QList<QUrl> blocked_;
  QWebEngineProfile* profile_ = nullptr;  // private profile of a sealed view
  std::unique_ptr<TRequestFilter> filter_;
  TBrowserPage* page_ = nullptr;
  QPointer<QWebEngineView> view_;
};
