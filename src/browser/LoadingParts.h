#pragma once
// TLoadingParts: the parts of a page (pictures, frames, scripts ...) that are being fetched, in
// the order they began. The engine reports when a part begins but not when it has arrived, so
// the arrivals come from the page's own record of its finished fetches; the status line then
// names a part still loading instead of the last one begun, which may have come from the cache
// long ago.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class TLoadingParts {
 public:
  // Forgets every part (a new page load begins, or the load ended).
  void clear();
  // A part began to load.
  void begin(const QUrl& url, bool picture);
  // These parts have arrived (URLs as the page records them); a part begun twice arrives once.
  void arrived(const QStringList& urls);
  bool empty() const { return parts_.isEmpty(); }
  bool loading(const QUrl& url) const;
  // The part begun last that is still loading, and its status text; empty when none is.
  QUrl lastloading() const;
  QString statustext() const;

  // "Downloading picture URL" or "Downloading URL".
  static QString statustext(const QUrl& url, bool picture);

  // The page's finished fetches, its frames' included, as a list of URLs; run in the page.
  static const char* const kArrivedScript;

 private:
  struct TPart {
    QUrl url;
    bool picture = false;
  };
  QList<TPart> parts_;
};
