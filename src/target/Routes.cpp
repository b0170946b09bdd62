#include "target/Routes.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const char kIndex[] =
    "<html><head><title>pressbolt-target</title></head><body>\r\n"
    "<h1>pressbolt-target</h1>\r\n"
    "<p>A small HTTP/1.0 server for load tests.</p>\r\n"
    "<ul><li><a href=\"/size/1000\">/size/1000</a></li>"
    "<li><a href=\"/status/500\">/status/500</a></li>"
    "<li><a href=\"/chain/3\">/chain/3</a></li>"
    "<li><a href=\"/echo\">/echo</a></li></ul>\r\n"
    "</body></html>\r\n";

// Digits only, at most max; false for anything else (sign, blanks, overflow).
bool number(std::string_view s, int64_t max, int64_t& out) {
  if (s.empty() || s.size() > 18) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  out = v;
  return true;
}

// A parameter copied into a header field must not end the field or smuggle in another one.
bool fieldsafe(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string statusline(int status) {
  return "HTTP/1.0 " + std::to_string(status) + " " + reasonphrase(status) + "\r\n";
}

// A complete answer; a HEAD request gets the same fields without the body.
TResponse reply(bool head, int status, const std::string& type, const std::string& body,
                const std::string& fields = "") {
  TResponse r;
  r.Status = status;
  r.Head = statusline(status) + "Server: pressbolt-target\r\n" + fields;
  r.Head +=
      "Content-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  if (!head) r.Head += body;
  return r;
}

TResponse notfound(bool head) {
  return reply(head, 404, "text/html", "<html><body>not found</body></html>\r\n");
}

TResponse badparam(bool head) {
  return reply(head, 400, "text/plain", "bad parameter\n");
}

TResponse size(const TRequest& rq, bool head) {
  int64_t n = 0;
  std::string_view arg = std::string_view(rq.Path).substr(6);
  if (!number(arg, INT64_MAX / 2, n)) return notfound(head);
  if (n > kMaxSize) return reply(head, 400, "text/plain", "size too large\n");
  TResponse r;
  r.Status = 200;
  r.Head = statusline(200) +
           "Server: pressbolt-target\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(n) + "\r\n\r\n";
  if (!head) r.PatternBytes = n;
  return r;
}

TResponse status(const TRequest& rq, bool head) {
  int64_t n = 0;
  if (!number(std::string_view(rq.Path).substr(8), 999, n)) return notfound(head);
  if (n < 100) return badparam(head);
  return reply(head, int(n), "text/plain", "status " + std::to_string(n) + "\n");
}

TResponse redirect(const TRequest& rq, bool head) {
  int64_t code = 302;
  std::string to, fields;
  bool hasto = false;
  for (const auto& [k, v] : rq.params()) {
    if (k == "to") {
      to = v;
      hasto = true;
    } else if (k == "code") {
      if (!number(v, 999, code) || code < 100) return badparam(head);
    } else if (k == "cookie") {
      if (!fieldsafe(v)) return badparam(head);
      fields += "Set-Cookie: " + v + "\r\n";
    }
  }
  if (!hasto || !fieldsafe(to)) return badparam(head);
  return reply(head, int(code), "text/plain", "", "Location: " + to + "\r\n" + fields);
}

TResponse chain(const TRequest& rq, bool head) {
  int64_t n = 0;
  if (!number(std::string_view(rq.Path).substr(7), 1000000000, n)) return notfound(head);
  if (n == 0) return reply(head, 200, "text/plain", "end of chain\n");
  return reply(head, 302, "text/plain", "",
               "Location: /chain/" + std::to_string(n - 1) +
                   "\r\nSet-Cookie: hop=" + std::to_string(n) + "\r\n");
}

// 200 when the Host field is exactly the value of "is", else 400 naming what came: a load test
// counts its successes only when every request carried the Host field it should.
TResponse hostcheck(const TRequest& rq, bool head) {
  std::string host = rq.header("Host");
  if (rq.param("is") == host) return reply(head, 200, "text/plain", "Host: " + host + "\n");
  return reply(head, 400, "text/plain", "Host: " + host + ", not " + rq.param("is") + "\n");
}

TResponse cookie(const TRequest& rq, bool head) {
  TParams params = rq.params();
  bool raw = false;
  for (const auto& [k, v] : params)
    if (k == "raw" && v == "1") raw = true;
  std::string fields;
  for (const auto& [k, v] : params) {
    if (k != "set") continue;
    if (!fieldsafe(v)) return badparam(head);
    fields += (raw ? "Set-Cookie:" : "Set-Cookie: ") + v + "\r\n";
  }
  return reply(head, 200, "text/plain", "cookies\n", fields);
}

TResponse auth(const TRequest& rq, bool head) {
  std::string user = rq.param("user");
  std::string given = rq.header("Authorization");
  // The scheme name is case-insensitive; the credentials token is compared exactly.
  bool ok = false;
  if (given.size() > 6) {
    std::string scheme = given.substr(0, 6);
    for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    std::string token = given.substr(6);
    while (!token.empty() && token.front() == ' ') token.erase(0, 1);
    ok = scheme == "basic " && token == base64(user + ":" + rq.param("pw"));
  }
  if (ok) return reply(head, 200, "text/plain", "welcome " + user + "\n");
  return reply(head, 401, "text/plain", "unauthorized\n",
               "WWW-Authenticate: Basic realm=\"pressbolt\"\r\n");
}

TResponse trickle(const TRequest& rq, bool head) {
  int64_t bytes = 10, ms = 10;
  for (const auto& [k, v] : rq.params()) {
    if (k == "bytes" && !number(v, 1000000, bytes)) return badparam(head);
    if (k == "ms" && !number(v, 60000, ms)) return badparam(head);
  }
  TResponse r;
  r.Status = 200;
  r.Head = statusline(200) +
           "Server: pressbolt-target\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(bytes) + "\r\n\r\n";
  if (!head) {
    r.After = TAfter::trickle;
    r.TrickleBytes = bytes;
    r.TrickleMs = int(ms);
  }
  return r;
}

// An answer held back ms milliseconds after the request was read (never less; the timers count
// whole milliseconds, so up to about one more): a server whose own time is known, to check the
// server times a client reports.
TResponse delay(const TRequest& rq, bool head) {
  int64_t ms = 100;
  for (const auto& [k, v] : rq.params())
    if (k == "ms" && !number(v, 60000, ms)) return badparam(head);
  TResponse r = reply(head, 200, "text/html",
                      "<html><body>answered after " + std::to_string(ms) + " ms</body></html>\r\n");
  r.DelayMs = int(ms);
  return r;
}

TResponse rawbytes(int status, std::string bytes, TAfter after = TAfter::close) {
  TResponse r;
  r.Status = status;
  r.Head = std::move(bytes);
  r.After = after;
  return r;
}

bool startswith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// A 24 x 24 blue PNG: small, but a real picture a browser decodes and draws.
const char kPicture[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x18\x00\x00"
    "\x00\x18\x08\x02\x00\x00\x00\x6f\x15\xaa\xaf\x00\x00\x00\x1f\x49\x44\x41\x54\x78\xda"
    "\x63\x90\x8b\x3a\x41\x15\xc4\x30\x6a\xd0\xa8\x41\xa3\x06\x8d\x1a\x34\x6a\xd0\xa8\x41"
    "\x03\x6f\x10\x00\xd8\x9a\xd0\x1f\x8a\xe8\x6f\x0e\x00\x00\x00\x00\x49\x45\x4e\x44\xae"
    "\x42\x60\x82";
constexpr size_t kPictureBytes = sizeof kPicture - 1;
// Bytes a slow picture trickles after its PNG data; decoders ignore data after the end chunk.
constexpr int64_t kSlowTail = 10;

TResponse picture(bool head) {
  return reply(head, 200, "image/png", std::string(kPicture, kPictureBytes));
}

// The picture, then its tail trickled over about ms milliseconds, so a browser waits that long.
TResponse slowpicture(const TRequest& rq, bool head) {
  int64_t ms = 1000;
  for (const auto& [k, v] : rq.params())
    if (k == "ms" && !number(v, 60000, ms)) return badparam(head);
  TResponse r;
  r.Status = 200;
  r.Head = statusline(200) +
           "Server: pressbolt-target\r\nContent-Type: image/png\r\nContent-Length: " +
           std::to_string(kPictureBytes + kSlowTail) + "\r\n\r\n";
  if (!head) {
    r.Head.append(kPicture, kPictureBytes);
    r.After = TAfter::trickle;
    r.TrickleBytes = kSlowTail;
    r.TrickleMs = int(ms / kSlowTail);
  }
  return r;
}

// A page with n pictures (each its own URL, so none comes from the memory of another) and, with
// slow=ms, one slow picture.
TResponse pictures(const TRequest& rq, bool head) {
  int64_t n = 3, slow = -1;
  for (const auto& [k, v] : rq.params()) {
    if (k == "n" && !number(v, 100, n)) return badparam(head);
    if (k == "slow" && !number(v, 60000, slow)) return badparam(head);
  }
  std::string body = "<html><head><title>pictures</title></head><body>\r\n<p>Pictures</p>\r\n";
  for (int64_t i = 1; i <= n; ++i)
    body += "<img src=\"/picture.png?" + std::to_string(i) + "\" width=\"24\" height=\"24\">\r\n";
  if (slow >= 0)
    body +=
        "<img src=\"/slowpicture?ms=" + std::to_string(slow) + "\" width=\"24\" height=\"24\">\r\n";
  body += "</body></html>\r\n";
  return reply(head, 200, "text/html", body);
}

const char kFrames[] =
    "<html><head><title>frames</title></head>\r\n"
    "<frameset cols=\"50%,50%\"><frame src=\"/index.html\"><frame src=\"/pictures?n=2\">"
    "</frameset></html>\r\n";

}  // namespace

bool keepsbody(const TRequest& rq) {
  return rq.Path == "/echo";
}

TResponse route(const TRequest& rq, std::string_view raw) {
  const std::string& p = rq.Path;
  bool head = rq.Method == "HEAD";
  if (p == "/" || p == "/index.html") return reply(head, 200, "text/html", kIndex);
  if (startswith(p, "/size/")) return size(rq, head);
  if (startswith(p, "/status/")) return status(rq, head);
  if (p == "/redirect") return redirect(rq, head);
  if (startswith(p, "/chain/")) return chain(rq, head);
  // A relocation to itself, setting the same cookie each time: a client that follows without a
  // limit never ends.
  if (p == "/loop") {
    return reply(head, 302, "text/plain", "", "Location: /loop\r\nSet-Cookie: loop=1\r\n");
  }
  if (p == "/cookie") return cookie(rq, head);
  if (p == "/host") return hostcheck(rq, head);
  if (p == "/auth") return auth(rq, head);
  if (p == "/echo") return reply(head, 200, "text/plain", std::string(raw));
  if (p == "/trickle") return trickle(rq, head);
  if (p == "/delay") return delay(rq, head);
  if (p == "/picture.png") return picture(head);
  if (p == "/slowpicture") return slowpicture(rq, head);
  if (p == "/pictures") return pictures(rq, head);
  if (p == "/frames") return reply(head, 200, "text/html", kFrames);
  if (p == "/html-exe/doc.exe")
    return reply(head, 200, "text/html", "<html><body>a document named .exe</body></html>\r\n");
  if (p == "/headerless")
    return rawbytes(0, "<html><body>headerless\r\nsecond line\r\n</body></html>\r\n");
  if (p == "/close") return rawbytes(0, "");
  if (p == "/hang") return rawbytes(0, "", TAfter::hang);
  if (p == "/reset") {
    TResponse r = rawbytes(200, statusline(200) + "Content-Type: text/html\r\n\r\n", TAfter::reset);
    r.PatternBytes = 1000;
    return r;
  }
  if (p == "/halfheader/reset" || p == "/halfheader/close") {
    return rawbytes(200, "HTTP/1.0 200 OK\r\nContent-Ty",
                    p == "/halfheader/reset" ? TAfter::reset : TAfter::close);
  }
  if (p == "/longline")
    return rawbytes(200, "HTTP/1.0 200 OK\r\nX-Long: " + std::string(100000, 'a'));
  if (p == "/nul") {
    static const char kNul[] =
        "HTTP/1.0 200 OK\r\nX-A: b\0c\r\nContent-Type: text/html\r\n\r\nbody";
    return rawbytes(200, std::string(kNul, sizeof kNul - 1));
  }
  return notfound(head);
}

TResponse simple(int status, const std::string& body) {
  return reply(false, status, "text/plain", body);
}

const char* reasonphrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 101:
      return "Switching Protocols";
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 202:
      return "Accepted";
    case 203:
      return "Non-Authoritative Information";
    case 204:
      return "No Content";
    case 205:
      return "Reset Content";
    case 206:
      return "Partial Content";
    case 300:
      return "Multiple Choices";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 305:
      return "Use Proxy";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 402:
      return "Payment Required";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 406:
      return "Not Acceptable";
    case 407:
      return "Proxy Authentication Required";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 410:
      return "Gone";
    case 411:
      return "Length Required";
    case 412:
      return "Precondition Failed";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 416:
      return "Range Not Satisfiable";
    case 417:
      return "Expectation Failed";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

std::string_view patternspan(int64_t offset, size_t max) {
  static constexpr std::string_view kCycle =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_";
  static constexpr size_t kBlock = 64 * 1024;
  static const std::string block = [] {
    std::string b;
    b.reserve(kBlock + kCycle.size());
    while (b.size() < kBlock + kCycle.size()) b += kCycle;
    return b;
  }();
  size_t start = size_t(offset % int64_t(kCycle.size()));
  return std::string_view(block).substr(start, std::min(max, kBlock));
}

std::string base64(std::string_view s) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < s.size(); i += 3) {
    uint32_t v =
        uint32_t(uint8_t(s[i])) << 16 | uint32_t(uint8_t(s[i + 1])) << 8 | uint8_t(s[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < s.size()) {
    uint32_t v = uint32_t(uint8_t(s[i])) << 16;
    if (i + 1 < s.size()) v |= uint32_t(uint8_t(s[i + 1])) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < s.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}
