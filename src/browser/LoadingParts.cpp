#include "browser/LoadingParts.h"

#include <algorithm>

// Frames of another origin refuse access; their parts stay loading until the page ends.
const char* const TLoadingParts::kArrivedScript =
    "(function names(w) {"
    "  var out = [];"
    "  try {"
    "    out = w.performance.getEntriesByType('resource').map(function (e) { return e.name; });"
    "    for (var i = 0; i < w.frames.length; ++i) out = out.concat(names(w.frames[i]));"
    "  } catch (e) {}"
    "  return out;"
    "})(window)";

void TLoadingParts::clear() {
  parts_.clear();
}

void TLoadingParts::begin(const QUrl& url, bool picture) {
  parts_.append({url.adjusted(QUrl::RemoveFragment), picture});
}

void TLoadingParts::arrived(const QStringList& urls) {
  for (const QString& name : urls) {
    const QUrl url = QUrl(name).adjusted(QUrl::RemoveFragment);
    parts_.removeIf([&](const TPart& p) { return p.url == url; });
  }
}

bool TLoadingParts::loading(const QUrl& url) const {
  const QUrl u = url.adjusted(QUrl::RemoveFragment);
  return std::any_of(parts_.begin(), parts_.end(), [&](const TPart& p) { return p.url == u; });
}

QUrl TLoadingParts::lastloading() const {
  return parts_.isEmpty() ? QUrl() : parts_.last().url;
}

QString TLoadingParts::statustext() const {
  return parts_.isEmpty() ? QString() : statustext(parts_.last().url, parts_.last().picture);
}

QString TLoadingParts::statustext(const QUrl& url, bool picture) {
  return (picture ? "Downloading picture " : "Downloading ") + url.toString();
}
