#include "http/UrlSplit.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "common/Text.h"
#include "http/HttpLines.h"
#include "net/SocketResolve.h"

namespace {

// The user information before the last "@": user, and password after its first ":".
void splituserinfo(std::string_view userinfo, TUrlParts& p) {
  size_t ucolon = userinfo.find(':');
  if (ucolon == std::string_view::npos) {
    p.user = userinfo;
  } else {
    p.user = userinfo.substr(0, ucolon);
    p.password = userinfo.substr(ucolon + 1);
  }
}

// An authority whose host is written in brackets ("[::1]:8080", "user@[::1]"): the host keeps
// its brackets, and only a ":" after the "]" starts the port. Text after the "]" that is no port
// stays with the host, so that the host reads as damaged rather than as another address. False
// when the host does not begin with "[".
bool splitbracketed(std::string_view authority, TUrlParts& p) {
  size_t at = authority.rfind('@');
  std::string_view hostport = at == std::string_view::npos ? authority : authority.substr(at + 1);
  if (hostport.empty() || hostport.front() != '[') return false;
  size_t close = hostport.find(']');
  if (close != std::string_view::npos && close + 1 < hostport.size() &&
      hostport[close + 1] == ':') {
    p.host = hostport.substr(0, close + 1);
    p.port = hostport.substr(close + 2);
  } else {
    p.host = hostport;
  }
  if (at != std::string_view::npos) splituserinfo(authority.substr(0, at), p);
  return true;
}

}  // namespace

TUrlParts SplitURL(const std::string& url) {
  TUrlParts p;
  if (url.empty()) return p;
  const std::string_view u = url;
  size_t start;  // where the authority begins
  size_t sep = u.find("://");
  if (sep != std::string_view::npos) {
    p.scheme = u.substr(0, sep);
    start = sep + 3;
  } else if (u[0] == '/') {
    p.scheme = "http";
    if (u.size() > 1 && u[1] != '/') {
      p.path = url;
      return p;
    }
    start = 1;
  } else if (samename(u.substr(0, 5), "http:")) {
    p.scheme = "http";
    if (u.size() > 6 && u[6] != '/') {
      p.path = u.substr(5);
      return p;
    }
    start = std::min<size_t>(6, u.size());
  } else if (samename(u.substr(0, 7), "mailto:")) {
    p.scheme = "mailto";
    start = u.find(':') + 1;
  } else {
    start = 0;
  }

  std::string_view rest = u.substr(start);
  size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) p.path = rest.substr(slash);

  if (splitbracketed(authority, p)) return p;
  size_t colon = authority.rfind(':');
  size_t at = authority.rfind('@');
  if (colon == std::string_view::npos && at == std::string_view::npos) {
    p.host = authority;
    return p;
  }
  if (colon != std::string_view::npos && (at == std::string_view::npos || colon > at)) {
    p.port = authority.substr(colon + 1);
    size_t hoststart = at == std::string_view::npos ? 0 : at + 1;
    p.host = authority.substr(hoststart, colon - hoststart);
    if (at == std::string_view::npos) return p;
  } else {
    p.host = authority.substr(at + 1);
  }
  splituserinfo(authority.substr(0, at), p);
  return p;
}

std::string hostfield(std::string_view scheme, std::string_view host, std::string_view port) {
  std::string field(host);
  // Leading zeros name the same port ("080" is 80); a scheme of its own has no default to omit.
  std::string_view number = port.substr(std::min(port.find_first_not_of('0'), port.size()));
  const bool http = scheme.empty() || samename(scheme, "http");
  const bool standard = (http && number == "80") || (samename(scheme, "https") && number == "443");
  if (!port.empty() && !standard) field.append(":").append(port);
  return field;
}

std::string documentname(const std::string& target) {
  // The fragment is never sent, so it is no part of the document's name either.
  std::string_view name = std::string_view(target).substr(0, target.find('#'));
  if (name.empty() || name == "/") return "document.htm";
  if (name.back() == '/') name.remove_suffix(1);
  size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  name = name.substr(0, 255);
  return std::string(name.substr(0, name.find('?')));
}

std::string requesttarget(const std::string& target) {
  static const char hex[] = "0123456789ABCDEF";
  const std::string_view t = std::string_view(target).substr(0, target.find('#'));
  std::string out;
  out.reserve(t.size());
  for (unsigned char c : t) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string hostproblem(const std::string& host) {
  const bool bracketed = !host.empty() && (host.front() == '[' || host.back() == ']');
  if (bracketed) {
    in6_addr address{};
    if (host.size() > 2 && host.front() == '[' && host.back() == ']' &&
        ipv6literal(host, address)) {
      return std::string();
    }
    return "has no valid IPv6 address in brackets (for example [::1])";
  }
  if (host.find(':') != std::string::npos) {
    // "::1:8080" could be an address with a port, or an address: only brackets tell.
    return "has an IPv6 address without brackets; write it in brackets, with any port after "
           "the \"]\" (for example [::1]:8080)";
  }
  return std::string();
}

std::string hostkey(const std::string& host) {
  in6_addr address{};
  if (host.size() > 2 && host.front() == '[' && host.back() == ']' && ipv6literal(host, address)) {
    return "[" + ipv6text(address) + "]";
  }
  return asciilower(host);
}

std::string ChangeExtension(const std::string& name, const std::string& ext) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name + "." + ext;
  return name.substr(0, dot + 1) + ext;
}

std::string extensionof(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : asciilower(name.substr(dot));
}
