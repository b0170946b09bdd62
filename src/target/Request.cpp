#include "target/Request.h"

#include <algorithm>
#include <cctype>

#include "common/Text.h"

namespace {

bool sameword(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Up to 18 digits, so the value always fits; anything else is not a length.
bool parselength(std::string_view s, int64_t& out) {
  if (s.empty() || s.size() > 18) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// Reduces an absolute URI ("http://host:port/p?q") to its path and query ("/p?q").
bool origin(std::string_view target, std::string& out) {
  if (!target.empty() && target.front() == '/') {
    out = target;
    return true;
  }
  size_t scheme = target.find("://");
  if (scheme == std::string_view::npos || scheme == 0) return false;
  std::string_view rest = target.substr(scheme + 3);
  size_t cut = rest.find_first_of("/?");
  if (cut == std::string_view::npos) {
    out = "/";
  } else if (rest[cut] == '?') {
    out = "/" + std::string(rest.substr(cut));
  } else {
    out = rest.substr(cut);
  }
  return true;
}

}  // namespace

std::string TRequest::header(std::string_view name) const {
  for (const auto& [k, v] : Headers)
    if (sameword(k, name)) return v;
  return "";
}

TParams TRequest::params() const {
  return splitquery(Query);
}

std::string TRequest::param(std::string_view name) const {
  for (const auto& [k, v] : params())
    if (k == name) return v;
  return "";
}

size_t headerend(std::string_view data, size_t from) {
  // The empty line is "\n\n" or "\n\r\n"; step back so a terminator split across reads is found.
  size_t i = from > 3 ? from - 3 : 0;
  while (true) {
    size_t nl = data.find('\n', i);
    if (nl == std::string_view::npos) return std::string_view::npos;
    if (nl + 1 < data.size() && data[nl + 1] == '\n') return nl + 2;
    if (nl + 2 < data.size() && data[nl + 1] == '\r' && data[nl + 2] == '\n') return nl + 3;
    i = nl + 1;
  }
}

bool parserequest(std::string_view header, TRequest& rq) {
  rq = TRequest{};
  size_t eol = header.find('\n');
  std::string_view line = trim(header.substr(0, eol), " \t\r");
  std::string_view rest = eol == std::string_view::npos ? "" : header.substr(eol + 1);

  std::vector<std::string_view> words;
  while (!line.empty()) {
    size_t sp = line.find(' ');
    words.push_back(line.substr(0, sp));
    if (sp == std::string_view::npos) break;
    line = trim(line.substr(sp + 1), " \t\r");
  }
  if (words.size() < 2 || words.size() > 3) return false;
  rq.Method = words[0];
  rq.Target = words[1];
  if (words.size() == 3) rq.Version = words[2];

  std::string path;
  if (!origin(rq.Target, path)) return false;
  path = path.substr(0, path.find('#'));
  size_t q = path.find('?');
  rq.Path = path.substr(0, q);
  if (q != std::string::npos) rq.Query = path.substr(q + 1);

  bool haslength = false;
  while (!rest.empty()) {
    eol = rest.find('\n');
    std::string_view field = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? "" : rest.substr(eol + 1);
    if (!field.empty() && field.back() == '\r') field.remove_suffix(1);
    if (field.empty()) break;
    if ((field.front() == ' ' || field.front() == '\t') && !rq.Headers.empty()) {
      rq.Headers.back().second += " " + std::string(trim(field, " \t\r"));
      continue;
    }
    size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;  // not a field: ignored
    std::string_view name = trim(field.substr(0, colon), " \t\r");
    std::string_view value = trim(field.substr(colon + 1), " \t\r");
    rq.Headers.emplace_back(name, value);
    if (sameword(name, "Content-Length")) {
      int64_t n = 0;
      if (!parselength(value, n)) return false;
      if (haslength && n != rq.ContentLength) return false;
      rq.ContentLength = n;
      haslength = true;
    }
  }
  return true;
}

std::string urldecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && hexval(s[i + 1]) >= 0 && hexval(s[i + 2]) >= 0) {
      out += static_cast<char>(hexval(s[i + 1]) * 16 + hexval(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

TParams splitquery(std::string_view query) {
  TParams out;
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view part = query.substr(0, amp);
    query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
    if (part.empty()) continue;
    size_t eq = part.find('=');
    if (eq == std::string_view::npos)
      out.emplace_back(urldecode(part), "");
    else
      out.emplace_back(urldecode(part.substr(0, eq)), urldecode(part.substr(eq + 1)));
  }
  return out;
}
