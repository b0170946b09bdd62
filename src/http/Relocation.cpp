#include "http/Relocation.h"

#include "common/Text.h"
#include "http/UriReference.h"
#include "http/UrlSplit.h"

namespace {

// The authority without its user information: credentials never travel in a location.
std::string hostport(const std::string& authority) {
  const size_t at = authority.rfind('@');
  return at == std::string::npos ? authority : authority.substr(at + 1);
}

// The host an authority names, without user information and port.
std::string hostof(const std::string& authority) {
  return SplitURL("http://" + hostport(authority) + "/").host;
}

bool webscheme(const std::string& scheme) {
  return scheme == "http" || scheme == "https";
}

}  // namespace

std::string relocationurl(const THttpTarget& current, const std::string& v, bool viaproxy,
                          bool secure) {
  TUriParts base = parseuri(current.RequestTarget);
  if (!viaproxy || !base.hasscheme || !base.hasauthority || hostof(base.authority).empty()) {
    const std::string port = current.ConnectPort.empty() ? "" : ":" + current.ConnectPort;
    const std::string host = viaproxy ? current.TargetHost : current.ConnectHost + port;
    std::string path = base.path.starts_with('/') ? base.path : "/";
    if (base.hasquery) path += "?" + base.query;
    base = parseuri((secure && !viaproxy ? "https://" : "http://") + host + path);
  }
  TUriParts t = resolvereference(base, parseuri(v));
  t.scheme = asciilower(t.scheme);
  if (webscheme(t.scheme) || t.hasauthority) {
    t.authority = hostport(t.authority);
    // No host names no other server: the request stays where it is.
    if (hostof(t.authority).empty()) t.authority = hostport(base.authority);
    t.hasauthority = true;
    // Behind an authority a path begins with "/" (it would run into the host otherwise).
    if (!t.path.starts_with('/')) t.path.insert(0, "/");
  }
  return composeuri(t);
}

THttpTarget relocate(const THttpTarget& current, const std::string& v, bool viaproxy, bool secure) {
  const TUriParts u = parseuri(relocationurl(current, v, viaproxy, secure));
  // Another scheme is never followed: nothing changes.
  if (!webscheme(u.scheme)) return current;
  const TUrlParts a = SplitURL("http://" + u.authority + "/");
  const std::string pathquery = u.path + (u.hasquery ? "?" + u.query : "");
  THttpTarget t = current;
  if (viaproxy) {
    t.TargetHost = a.host;
    t.RequestTarget = u.scheme + "://" + u.authority + pathquery;
    return t;
  }
  t.ConnectHost = a.host;
  t.ConnectPort = !a.port.empty() ? a.port : u.scheme == "https" ? "443" : "80";
  t.TargetHost = a.host;
  t.RequestTarget = pathquery;
  return t;
}
