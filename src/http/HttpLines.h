#pragma once
// The receive side's building blocks: the fixed line buffer of a response and the parsing of one
// header line. Neither does any I/O, so both are driven directly by tests and fuzzers.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// Received bytes not yet consumed, at most Capacity of them, always followed by a zero byte.
// Line splitting only sees the text up to the first zero byte, so a zero byte in a header hides
// what follows it until the buffer runs full.
class TReceiveBuffer {
 public:
  static constexpr int Capacity = 8192;

  // The storage is taken at the first read and given back by Release (to a small stock of the
  // thread that the next first read takes from), so thousands of clients that wait for their
  // answer, or are done, cost no buffer.
  TReceiveBuffer() = default;

  // Room for the next read: moves the unconsumed bytes to the front and returns where the read
  // goes; free is set to the number of bytes that fit (0 when the buffer is full).
  char* Reserve(int& free);
  // n bytes (0 <= n <= free) were read into the reserved room: counts them, writes the zero byte.
  void Commit(int n);
  // Takes the next line: the text before the first LF that lies before the first zero byte, with
  // one CR directly before the LF removed. Returns false (consuming nothing) when there is none.
  // Inline: it runs once for every header line of every response.
  bool TakeLine(std::string& line) {
    if (count_ == 0) return false;
    const char* text = data_.get() + start_;
    // The bytes always end with a zero byte, so this finds no LF behind the first zero byte.
    const char* lf = std::strchr(text, '\n');
    if (lf == nullptr) return false;
    const size_t len = size_t(lf - text);
    // Not assign: the text never overlaps line, and append skips the checks for that.
    line.clear();
    line.append(text, len > 0 && lf[-1] == '\r' ? len - 1 : len);
    start_ += int(len) + 1;
    count_ -= int(len) + 1;
    if (count_ == 0) start_ = 0, data_[0] = 0;
    return true;
  }
  // Drops the first n unconsumed bytes (0 <= n <= Count()).
  void Skip(int n) {
    if (n <= 0) return;
    start_ += n;
    count_ -= n;
    if (count_ == 0) start_ = 0, data_[0] = 0;
  }
  // Moves every unconsumed byte (zero bytes included) into out and empties the buffer.
  void TakeAll(std::string& out);
  void Clear();
  // Gives the storage back when no byte is left in it.
  void Release();
  int Count() const { return count_; }
  // The unconsumed bytes, followed by a zero byte.
  const char* Data() const { return data_ ? data_.get() + start_ : ""; }

 private:
  std::unique_ptr<char[]> data_;
  int start_ = 0;  // first unconsumed byte
  int count_ = 0;  // unconsumed bytes
};

enum class THeaderKind { Status, Field, Other };

// A header line's parts, for a caller that needs a field's value only for some names (see
// viewheaderline). All inline: they run for every header line.

// Whether line is a status line.
inline bool isstatusline(std::string_view line) {
  return line.size() >= 8 && std::memcmp(line.data(), "HTTP/1.", 7) == 0 &&
         (line[7] == '0' || line[7] == '1');
}
// Where a field's name ends: the first ":" (npos when there is none).
inline size_t fieldnameend(std::string_view line) {
  if (line.empty()) return std::string_view::npos;
  const void* colon = std::memchr(line.data(), ':', line.size());
  return colon == nullptr ? std::string_view::npos
                          : size_t(static_cast<const char*>(colon) - line.data());
}
// The value of a field whose name ends at colon.
inline std::string_view fieldvalue(std::string_view line, size_t colon) {
  size_t v = colon + 1;
  while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
  return std::string_view(line.data() + v, line.size() - v);
}

// One header line taken apart without a copy: a status line ("HTTP/1.0" or "HTTP/1.1" at the
// start), a field (name before the first ":"; value after it without leading blanks and tabs) or
// anything else. Name and value point into line, and the name keeps the case it was sent in
// (compare it with samename).
struct THeaderView {
  THeaderKind kind = THeaderKind::Other;
  std::string_view name, value;
};
inline THeaderView viewheaderline(std::string_view line) {
  THeaderView h;
  if (isstatusline(line)) {
    h.kind = THeaderKind::Status;
    return h;
  }
  const size_t colon = fieldnameend(line);
  if (colon == std::string_view::npos) return h;
  h.kind = THeaderKind::Field;
  h.name = std::string_view(line.data(), colon);
  h.value = fieldvalue(line, colon);
  return h;
}

// Whether text equals lower (which is lower case) when ASCII letters are compared without case.
inline bool samename(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

// The status code of a status line: the number in its characters 10 to 12; false when those are
// not a decimal number. The reason phrase is the line from character 14 on.
bool statuscode(const std::string& line, int& code);
// A view into line: the caller copies it where it keeps it.
inline std::string_view reasonphrase(std::string_view line) {
  return line.size() > 13 ? line.substr(13) : std::string_view();
}

// A whole text as a decimal number: leading blanks skipped, an optional sign, digits and nothing
// else. False when it is not one or does not fit into 64 bits.
bool decimal(std::string_view text, int64_t& value);
