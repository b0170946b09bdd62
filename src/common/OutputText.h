#pragma once
// Small formatting rules shared by the output lines of the engine, the reports and the merge.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Rounding.h"

// Appends value in decimal, as std::to_string writes it.
inline void appendnumber(std::string& to, long long value) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  // With a length: append of an iterator range goes the general way of replace.
  to.append(digits, size_t(end - digits));
}

// rounded(value), appended.
inline void appendrounded(std::string& to, long double value) {
  appendnumber(to, static_cast<long long>(std::rint(value)));
}

// A line put together in a buffer of N bytes on the stack, for a line written once per request:
// each piece is one copy of known length, without a growing string's checks and calls. The
// caller sizes N for the longest line it writes; a piece that would not fit is cut.
template <size_t N>
class TLineBuffer {
 public:
  TLineBuffer& operator<<(std::string_view piece) {
    // Two branches: a literal's copy then has a length known when compiled, and becomes a few
    // moves instead of a loop.
    if (piece.size() <= N - size_) {
      std::memcpy(data_ + size_, piece.data(), piece.size());
      size_ += piece.size();
    } else {
      std::memcpy(data_ + size_, piece.data(), N - size_);
      size_ = N;
    }
    return *this;
  }
  TLineBuffer& operator<<(char ch) {
    if (size_ < N) data_[size_++] = ch;
    return *this;
  }
  // The number in decimal, as std::to_string writes it.
  TLineBuffer& number(long long value) {
    auto [end, error] = std::to_chars(data_ + size_, data_ + N, value);
    if (error == std::errc()) size_ = size_t(end - data_);
    return *this;
  }
  // rounded(value).
  TLineBuffer& rounded(long double value) {
    return number(static_cast<long long>(std::rint(value)));
  }
  std::string_view view() const { return std::string_view(data_, size_); }

 private:
  char data_[N];
  size_t size_ = 0;
};

// The most of a POST body the settings line shows: a body of megabytes (or of binary) has no
// place in a log meant to be read.
inline constexpr size_t kLoggedPostBytes = 1000;

// The POST body as the settings line shows it: whole when short, else its first
// kLoggedPostBytes bytes and a note of the whole size.
inline std::string loggedpostdata(const std::string& data) {
  if (data.size() <= kLoggedPostBytes) return data;
  return data.substr(0, kLoggedPostBytes) + " ... (cut here: " + std::to_string(data.size()) +
         " Bytes in all)";
}

// The URL as it may be shown and logged: a password in its user information becomes "***", so
// that it never reaches a log file, a chart or a printed report.
inline std::string maskedurl(const std::string& url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = url.find('/', start);
  if (end == std::string::npos) end = url.size();
  size_t at = url.rfind('@', end);
  if (at == std::string::npos || at < start || at >= end) return url;
  size_t colon = url.find(':', start);
  if (colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon + 1) + "***" + url.substr(at);
}

inline std::string uppercased(std::string s) {
  for (auto& ch : s) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return s;
}

// The version text and the product's web address that end the two title lines.
inline const char* kVersion = "4.4";
inline const char* kWebAddress = "http://www.pressbolt.example/";

// Without leading and trailing blanks.
inline std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}
