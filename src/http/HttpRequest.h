#pragma once
// The request header of the HTTP client as plain text lines, composed without any I/O.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What goes into a request header. The texts are views: what they show must outlive the
// composing of the header (the client's own properties, usually).
struct TRequestHeaderFields {
  std::string_view Method;  // "GET", "POST", "HEAD"
  std::string_view Version = "1.0";
  std::string_view RequestTarget, TargetHost;
  std::string_view Sender, Reference, Agent, Cookie, ContentTypePost;
  std::string_view Username, Password, Proxy, ProxyUsername, ProxyPassword;
  bool NoCache = false;
  double ModifiedSince = 0;  // days since 1899-12-30; 0 sends no "If-Modified-Since"
  int64_t PostSize = 0;      // sent as "Content-Length" when the method is "POST"
};

// The header lines in the order they are sent, without the final empty line: the request line,
// then From, Referer, Content-Type (POST), User-Agent, Host, Pragma, Content-Length (POST),
// If-Modified-Since, Authorization, Proxy-Authorization and Cookie, each only when it has a value.
// All lines share one buffer, and the fields are no longer needed once it is composed.
class TRequestHeaderLines {
 public:
  static constexpr int MaxLines = 12;
  explicit TRequestHeaderLines(const TRequestHeaderFields& f);
  int Count() const { return count_; }
  std::string_view Line(int i) const;
  size_t Bytes() const { return text_.size(); }  // of all lines together

 private:
  void Add(std::string_view name, std::string_view value);

  std::string text_;  // the lines one after the other
  std::array<size_t, MaxLines> ends_{};
  int count_ = 0;
};

// The lines of a request header as separate texts, with their total length.
struct TComposedRequest {
  std::vector<std::string> lines;
  size_t bytes = 0;  // of all lines together
};

// The lines for f, composed once per thread for as long as the fields stay the same: a load test
// sends the same header for thousands of users. The result stays valid while it is held, also
// when a later call composes other lines.
std::shared_ptr<const TComposedRequest> composedrequest(const TRequestHeaderFields& f);
