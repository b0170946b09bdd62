#pragma once
// The request side of pressbolt-target: finding the end of a request header and splitting it into
// method, target, path, query and header fields. Pure functions, no I/O.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using TParams = std::vector<std::pair<std::string, std::string>>;

struct TRequest {
  std::string Method;   // as sent, e.g. "GET"
  std::string Target;   // as sent: "/size/100" or "http://host:port/size/100"
  std::string Version;  // "HTTP/1.0"; empty when the request line has none
  std::string Path;     // the path of the target without query, e.g. "/size/100"
  std::string Query;    // the raw query without '?', still URL-encoded
  TParams Headers;      // field name and trimmed value, in order
  int64_t ContentLength = 0;

  // Value of the first field with this name (compared without case), "" when there is none.
  std::string header(std::string_view name) const;
  // Decoded query parameters in order; a parameter without '=' has an empty value.
  TParams params() const;
  // Decoded value of the first parameter with this name, "" when there is none.
  std::string param(std::string_view name) const;
};

// Index just past the empty line that ends the header in data, or npos while it is incomplete.
// Accepts CRLF and bare LF line ends. Searching starts near from, so a caller appending data can
// pass the previous length instead of scanning everything again.
size_t headerend(std::string_view data, size_t from = 0);

// Splits a complete header block (request line and fields). False when the request line is
// malformed or Content-Length is not a plain non-negative number (or conflicts with another).
bool parserequest(std::string_view header, TRequest& rq);

// %XX becomes the byte, '+' a blank; a '%' not followed by two hex digits stays as it is.
std::string urldecode(std::string_view s);

// Splits "a=1&b=2" into decoded pairs, keeping order and repeats.
TParams splitquery(std::string_view query);
