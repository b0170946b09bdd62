#pragma once
// The request header of the HTTP client as plain text lines, composed without any I/O.

#include <cstdint>
#include <string>
#include <vector>

// What goes into a request header.
struct TRequestHeaderFields {
  std::string Method;  // "GET", "POST", "HEAD"
  std::string Version = "1.0";
  std::string RequestTarget, TargetHost;
  std::string Sender, Reference, Agent, Cookie, ContentTypePost;
  std::string Username, Password, Proxy, ProxyUsername, ProxyPassword;
  bool NoCache = false;
  double ModifiedSince = 0;  // days since 1899-12-30; 0 sends no "If-Modified-Since"
  int64_t PostSize = 0;      // sent as "Content-Length" when the method is "POST"
};

// The header lines in the order they are sent, without the final empty line: the request line,
// then From, Referer, Content-Type (POST), User-Agent, Host, Pragma, Content-Length (POST),
// If-Modified-Since, Authorization, Proxy-Authorization and Cookie, each only when it has a value.
std::vector<std::string> requestheaderlines(const TRequestHeaderFields& f);

// The bytes sent for the given lines: each followed by CR LF, then an empty line.
std::string requestheadertext(const std::vector<std::string>& lines);
