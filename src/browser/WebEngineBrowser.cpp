#include "browser/WebEngineBrowser.h"

#include <unistd.h>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <cstdlib>

class TBrowserPage : public QWebEnginePage {
 public:
  TBrowserPage(TWebEngineBrowser& owner, QWebEngineProfile* profile)
      : QWebEnginePage(profile), owner_(owner) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    return owner_.acceptnavigation(url, isMainFrame);
  }
  // A link that asks for a new window opens in this one; a sealed view opens none.
  QWebEnginePage* createWindow(WebWindowType) override {
    return owner_.mode_ == TBrowserMode::sealed ? nullptr : this;
  }

 private:
  TWebEngineBrowser& owner_;
};

class TRequestFilter : public QWebEngineUrlRequestInterceptor {
 public:
  explicit TRequestFilter(TWebEngineBrowser& owner) : owner_(owner) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const auto type = info.resourceType();
    const bool main = type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    const bool picture = type == QWebEngineUrlRequestInfo::ResourceTypeImage;
    if (!owner_.allowrequest(info.requestUrl(), main, picture)) info.block(true);
  }

 private:
  TWebEngineBrowser& owner_;
};

void TWebEngineBrowser::preparesandbox() {
  if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr)
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
}

TWebEngineBrowser::TWebEngineBrowser(TBrowserMode mode, QWidget* parent) : mode_(mode) {
  preparesandbox();
  filter_ = std::make_unique<TRequestFilter>(*this);
  QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
  if (mode_ == TBrowserMode::sealed) {
    // Off the record: nothing of the untrusted page is kept on disk. The filter sits on the
    // profile, so it sees every request the page and its frames make.
    profile_ = new QWebEngineProfile;
    profile_->setUrlRequestInterceptor(filter_.get());
    profile = profile_;
  }
  page_ = new TBrowserPage(*this, profile);
  if (mode_ == TBrowserMode::normal) page_->setUrlRequestInterceptor(filter_.get());
  if (mode_ == TBrowserMode::sealed) {
    QWebEngineSettings* s = page_->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  }
  // Page icons are never shown; fetching them would add requests the user did not ask for.
  page_->settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  view_ = new QWebEngineView(parent);
  view_->setPage(page_);
  connectpage();
}

TWebEngineBrowser::~TWebEngineBrowser() {
  alive_.reset();
  partspoll_.stop();
  delete view_.data();
  delete page_;
  delete profile_;
}

QWidget* TWebEngineBrowser::widget() {
  return view_;
}

void TWebEngineBrowser::connectpage() {
  QObject::connect(page_, &QWebEnginePage::loadingChanged, page_,
                   [this](const QWebEngineLoadingInfo& info) {
                     switch (info.status()) {
                       case QWebEngineLoadingInfo::LoadStartedStatus:
                         forgetparts();
                         FireDownloadBegin();
                         setstatus("Opening page " + info.url().toString());
                         break;
                       case QWebEngineLoadingInfo::LoadSucceededStatus:
                         forgetparts();
                         FireNavigateComplete2();
                         setstatus("Done");
                         FireDownloadComplete();
                         FireDocumentComplete();
                         break;
                       case QWebEngineLoadingInfo::LoadFailedStatus:
                         forgetparts();
                         setstatus("Error: " + info.errorString());
                         FireDownloadComplete();
                         break;
                       case QWebEngineLoadingInfo::LoadStoppedStatus:
                         forgetparts();
                         setstatus("Stopped");
                         FireDownloadComplete();
                         break;
                     }
                   });
  QObject::connect(page_, &QWebEnginePage::loadProgress, page_,
                   [this](int progress) { FireProgressChange(progress, 100); });
  // Leaving a link empties the status text, as the link had set it.
  QObject::connect(page_, &QWebEnginePage::linkHovered, page_, [this](const QString& url) {
    if (!url.isEmpty() || hovering_) {
      setstatus(url);
      shownpart_.clear();
    }
    hovering_ = !url.isEmpty();
  });
  partspoll_.setInterval(kPartsPollMs);
  QObject::connect(&partspoll_, &QTimer::timeout, page_, [this] { pollparts(); });
  // A page that crashes its renderer ends its load; the program goes on.
  QObject::connect(page_, &QWebEnginePage::renderProcessTerminated, page_,
                   [this](QWebEnginePage::RenderProcessTerminationStatus, int) {
                     setstatus("The page stopped working");
                     FireDownloadComplete();
                   });
}

void TWebEngineBrowser::setstatus(const QString& text) {
  FireStatusTextChange(text);
}

bool TWebEngineBrowser::acceptnavigation(const QUrl& url, bool mainframe) {
  bool cancel = false;
  FireBeforeNavigate2(url.toString(), cancel);
  if (cancel) return false;
  // A sealed view follows no link, frame or refresh of its page: only what Navigate asked for.
  if (mode_ == TBrowserMode::sealed)
    return mainframe && (url == allowed_ || url.toString() == "about:blank");
  return true;
}

bool TWebEngineBrowser::allowrequest(const QUrl& url, bool mainframe, bool picture) {
  bool allow = true;
  if (mode_ == TBrowserMode::sealed)
    allow = mainframe && url == allowed_;
  else if (offline_)
    allow = url.isLocalFile();
  if (!allow) {
    blocked_.append(url);
    return false;
  }
  if (!mainframe) {
    parts_.begin(url, picture);
    shownpart_ = url;
    setstatus(TLoadingParts::statustext(url, picture));
    if (!partspoll_.isActive()) partspoll_.start();
  }
  return true;
}

void TWebEngineBrowser::forgetparts() {
  parts_.clear();
  shownpart_.clear();
  partspoll_.stop();
  ++partsload_;
}

void TWebEngineBrowser::pollparts() {
  if (parts_.empty()) {
    partspoll_.stop();
    return;
  }
  // In a world of its own, which the page's scripts cannot see or disturb.
  const std::weak_ptr<bool> alive = alive_;
  const int load = partsload_;
  page_->runJavaScript(TLoadingParts::kArrivedScript, QWebEngineScript::ApplicationWorld,
                       [this, alive, load](const QVariant& names) {
                         if (alive.expired() || load != partsload_) return;
                         partsarrived(names.toStringList());
                       });
}

void TWebEngineBrowser::partsarrived(const QStringList& urls) {
  parts_.arrived(urls);
  if (shownpart_.isEmpty() || parts_.loading(shownpart_) || parts_.empty()) return;
  // The part the status named has arrived; the status moves on to one still loading.
  shownpart_ = parts_.lastloading();
  setstatus(parts_.statustext());
}

void TWebEngineBrowser::Navigate(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) throw EBrowserError("No address was given");
  // As typed into an address bar: "host:port/path" is http, blanks in a file path are escaped.
  const QUrl url = QUrl::fromUserInput(trimmed);
  if (!url.isValid())
    throw EBrowserError(url.errorString().isEmpty() ? "The address is not valid"
                                                    : url.errorString().toStdString());
  const QString scheme = url.scheme().toLower();
  if (scheme != "http" && scheme != "https" && scheme != "file" && scheme != "about")
    throw EBrowserError("The protocol \"" + scheme.toStdString() + "\" is not supported");
  if (url.isLocalFile()) allowed_ = url;
  view_->load(url);
}

void TWebEngineBrowser::Stop() {
  view_->triggerPageAction(QWebEnginePage::Stop);
}

void TWebEngineBrowser::GoBack() {
  if (!view_->history()->canGoBack())
    throw EBrowserError("There is no previous page to go back to");
  view_->back();
}

void TWebEngineBrowser::Refresh2(int level) {
  view_->triggerPageAction(level >= 3 ? QWebEnginePage::ReloadAndBypassCache
                                      : QWebEnginePage::Reload);
}
