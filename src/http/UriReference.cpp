#include "http/UriReference.h"

#include <algorithm>

#include "common/Text.h"

namespace {

constexpr std::string_view::size_type npos = std::string_view::npos;

bool letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isscheme(std::string_view s) {
  if (s.empty() || !letter(s[0])) return false;
  for (char c : s) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

// Drops the output's last segment and the "/" before it.
void popsegment(std::string& out) {
  const size_t slash = out.rfind('/');
  out.erase(slash == std::string::npos ? 0 : slash);
}

// The base's path up to its last "/", then the reference's path (RFC 3986 section 5.2.3).
std::string mergepaths(const TUriParts& base, const std::string& path) {
  if (base.hasauthority && base.path.empty()) return "/" + path;
  const size_t slash = base.path.rfind('/');
  if (slash == std::string::npos) return path;
  return base.path.substr(0, slash + 1) + path;
}

}  // namespace

TUriParts parseuri(std::string_view ref) {
  TUriParts u;
  size_t i = 0;
  const size_t first = ref.find_first_of(":/?#");
  if (first != npos && ref[first] == ':' && isscheme(ref.substr(0, first))) {
    u.scheme = ref.substr(0, first);
    u.hasscheme = true;
    i = first + 1;
  }
  if (ref.substr(i, 2) == "//") {
    i += 2;
    const size_t end = std::min(ref.find_first_of("/?#", i), ref.size());
    u.authority = ref.substr(i, end - i);
    u.hasauthority = true;
    i = end;
  }
  const size_t end = std::min(ref.find_first_of("?#", i), ref.size());
  u.path = ref.substr(i, end - i);
  i = end;
  if (i < ref.size() && ref[i] == '?') {
    const size_t hash = std::min(ref.find('#', i + 1), ref.size());
    u.query = ref.substr(i + 1, hash - i - 1);
    u.hasquery = true;
  }
  return u;
}

std::string removedotsegments(std::string_view path) {
  // The input is read from i on; where the rules replace a prefix by "/", i stops on the "/"
  // that the rest of the input already begins with.
  std::string out;
  out.reserve(path.size());
  size_t i = 0;
  while (i < path.size()) {
    const std::string_view in = path.substr(i);
    if (in.starts_with("../")) {
      i += 3;
    } else if (in.starts_with("./") || in.starts_with("/./")) {
      i += 2;
    } else if (in == "/.") {
      out += '/';
      break;
    } else if (in.starts_with("/../")) {
      i += 3;
      popsegment(out);
    } else if (in == "/..") {
      popsegment(out);
      out += '/';
      break;
    } else if (in == "." || in == "..") {
      break;
    } else {
      const size_t next = std::min(path.find('/', i + 1), path.size());
      out.append(path.substr(i, next - i));
      i = next;
    }
  }
  return out;
}

TUriParts resolvereference(const TUriParts& base, const TUriParts& ref) {
  TUriParts t;
  // "http:x" against an http base is the relative "x", as in every browser.
  const bool ownscheme =
      ref.hasscheme && !(base.hasscheme && asciilower(ref.scheme) == asciilower(base.scheme));
  if (ownscheme) {
    t = ref;
    t.path = removedotsegments(ref.path);
    return t;
  }
  t.scheme = base.scheme;
  t.hasscheme = base.hasscheme;
  if (ref.hasauthority) {
    t.authority = ref.authority;
    t.hasauthority = true;
    t.path = removedotsegments(ref.path);
    t.query = ref.query;
    t.hasquery = ref.hasquery;
    return t;
  }
  t.authority = base.authority;
  t.hasauthority = base.hasauthority;
  if (ref.path.empty()) {
    t.path = base.path;
    t.query = ref.hasquery ? ref.query : base.query;
    t.hasquery = ref.hasquery || base.hasquery;
    return t;
  }
  t.path = removedotsegments(ref.path.front() == '/' ? ref.path : mergepaths(base, ref.path));
  t.query = ref.query;
  t.hasquery = ref.hasquery;
  return t;
}

std::string composeuri(const TUriParts& u) {
  std::string out;
  if (u.hasscheme) out.append(u.scheme).append(":");
  if (u.hasauthority) out.append("//").append(u.authority);
  out += u.path;
  if (u.hasquery) out.append("?").append(u.query);
  return out;
}

std::string resolveuri(std::string_view base, std::string_view ref) {
  return composeuri(resolvereference(parseuri(base), parseuri(ref)));
}
