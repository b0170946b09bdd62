// TResponseParser: header lines out of the received bytes, the cut of a line longer than the
// buffer, the start of the document and what the connection's close makes of the response.

#include "http/ResponseParser.h"

#include <cstring>

#include "net/ErrorCodes.h"

namespace {

// A field name compared without case. The spelling nearly every server sends is tried first:
// as a whole it is compared a word at a time, where samename goes byte by byte.
template <size_t N>
bool isname(std::string_view name, const char (&usual)[N], const char (&lower)[N]) {
  return (name.size() == N - 1 && std::memcmp(name.data(), usual, N - 1) == 0) ||
         samename(name, lower);
}

// Whether text starts a header-less document.
bool startsdocument(std::string_view text) {
  return text.size() >= 6 && text[0] == '<' && samename(text.substr(0, 6), "<html>");
}

std::string errortext(uint16_t code) {
  return ErrorDesc(code) + " (Error #" + std::to_string(code) + ")";
}

}  // namespace

void TResponseParser::newrequest() {
  buffer_.Clear();
  overflowed_ = false;
  keptbytes_ = 0;
  keptnoted_ = false;
  begin();
}

void TResponseParser::begin() {
  buffer_.Clear();
  phase_ = phHeader;
  doclines_ = false;
  headerlines_ = 0;
  cutting_ = false;
  cutkept_ = std::string::npos;
  contentlength_ = -1;
  bodylength_ = -1;
  bodybytes_ = 0;
}

char* TResponseParser::room(int& room) {
  char* at = buffer_.Reserve(room);
  if (room > 0) return at;
  overflowed_ = true;
  return nullptr;
}

TResponseParser::TPiece TResponseParser::next(std::string& line) {
  cutkept_ = std::string::npos;
  if (phase_ == phBody) {
    if (!doclines_) return buffer_.Count() > 0 ? pBody : pNone;
    // The lines that came in one read with a header-less document's first go one by one, as
    // they were taken for header lines; what follows comes in chunks.
    if (buffer_.TakeLine(line)) return pDocLine;
    doclines_ = false;
    return pNone;
  }
  if (cutting_) {
    if (!endcut(line)) return pNone;
    return headerline(line);
  }
  if (buffer_.TakeLine(line)) return headerline(line);
  // A header line as long as the whole buffer is cut there: the response goes on.
  if (buffer_.Count() < MaxLine) return pNone;
  if (startsdocument(std::string_view(buffer_.Data(), size_t(buffer_.Count())))) {
    // A line that starts the document (the header-less kind): nothing of it is dropped.
    buffer_.TakeAll(line);
    return headerline(line);
  }
  startcut();
  if (!endcut(line)) return pNone;
  return headerline(line);
}

TResponseParser::TPiece TResponseParser::headerline(std::string& line) {
  ++headerlines_;
  // A cut line is parsed as far as it was kept: the note behind it is no part of its value.
  std::string_view kept(line);
  if (cutkept_ != std::string::npos) [[unlikely]]
    kept = kept.substr(0, cutkept_);
  if (startsdocument(kept)) {
    // No header at all: the document starts with this very line.
    phase_ = phBody;
    doclines_ = true;
    bodybytes_ = 0;
    return pDocument;
  }
  if (line.empty()) return pHeaderEnd;
  // A status code or length that is not a number drops the line: the field keeps its value.
  if (isstatusline(kept)) {
    if (!statuscode(line, status_)) return pBadNumber;
    value_ = reasonphrase(kept);
    return pStatus;
  }
  const size_t colon = fieldnameend(kept);
  if (colon == std::string_view::npos) return pLine;
  const std::string_view name(kept.data(), colon);
  // The names read here differ in length: one comparison of text at most.
  field_ = tOther;
  switch (colon) {
    case 8:
      if (isname(name, "Location", "location")) field_ = tLocation;
      break;
    case 12:
      if (isname(name, "Content-Type", "content-type")) field_ = tContentType;
      break;
    case 14:
      if (isname(name, "Content-Length", "content-length")) field_ = tContentLength;
      break;
    case 16:
      if (isname(name, "WWW-Authenticate", "www-authenticate")) field_ = tAuthenticate;
      break;
    default:
      break;
  }
  if (field_ == tOther) return pField;
  value_ = fieldvalue(kept, colon);
  if (field_ == tContentLength) {
    int64_t length = 0;
    if (!decimal(value_, length)) return pBadNumber;
    contentlength_ = length;
  }
  return pField;
}

void TResponseParser::startbody(bool head, int status) {
  phase_ = phBody;
  const bool nobody = head || status == 204 || status == 304 || (status >= 100 && status < 200);
  bodylength_ = nobody ? -1 : contentlength_;
  bodybytes_ = 0;
}

int TResponseParser::takebody(char* to) {
  const int count = buffer_.Count();
  std::memcpy(to, buffer_.Data(), size_t(count) + 1);
  buffer_.Clear();
  return count;
}

// ---- Lines longer than the buffer ----

void TResponseParser::startcut() {
  const char* data = buffer_.Data();
  // A zero byte hides what follows it from line splitting: the kept part ends there.
  const size_t kept = strnlen(data, size_t(buffer_.Count()));
  cuttext_.assign(data, kept);
  cutdropped_ = 0;
  cutlast_ = kept > 0 ? data[kept - 1] : 0;
  cutting_ = true;
  buffer_.Skip(int(kept));
}

bool TResponseParser::endcut(std::string& line) {
  const char* data = buffer_.Data();
  const int count = buffer_.Count();
  const void* lf = std::memchr(data, '\n', size_t(count));
  const int drop = lf == nullptr ? count : int(static_cast<const char*>(lf) - data);
  if (drop > 0) cutlast_ = data[drop - 1];
  cutdropped_ += drop;
  if (lf == nullptr) {
    buffer_.Clear();
    return false;
  }
  buffer_.Skip(drop + 1);
  cutting_ = false;
  // The line's own CR is no part of it.
  if (cutlast_ == '\r') {
    if (cutdropped_ > 0) {
      --cutdropped_;
    } else if (!cuttext_.empty()) {
      cuttext_.pop_back();
    }
  }
  line.swap(cuttext_);
  std::string().swap(cuttext_);
  // A line that just filled the buffer was not cut at all.
  if (cutdropped_ == 0) return true;
  cutkept_ = line.size();
  const std::string note = " (line of " + std::to_string(int64_t(cutkept_) + cutdropped_) +
                           " bytes cut to " + std::to_string(cutkept_) + ")";
  line.reserve(cutkept_ + note.size());  // just that: the room is given back with the header
  line += note;
  return true;
}

// ---- The end ----

TResponseParser::TPiece TResponseParser::closingdocument(std::string& line) {
  cutkept_ = std::string::npos;
  if (phase_ != phHeader || buffer_.Count() < 6 ||
      !startsdocument(std::string_view(buffer_.Data(), size_t(buffer_.Count())))) {
    return pNone;
  }
  buffer_.TakeAll(line);
  return headerline(line);
}

uint16_t TResponseParser::closed(uint16_t reset, std::string& reason) const {
  if (phase_ == phHeader) {
    // A header the server cut off (a reset, or a close after part of it) fails the request:
    // only a complete header makes the close the end of a response.
    if (reset != 0) {
      reason = errortext(reset);
      return reset;
    }
    if (headerlines_ > 0 || buffer_.Count() > 0 || cutting_) {
      reason = "Connection closed before the end of the header";
      return HeaderCutError;
    }
    return 0;
  }
  // After the header a plain close ends the document, unless it came before the announced
  // length: an answer cut short is no success. A reset is a failure unless the whole announced
  // body had arrived.
  const bool complete = bodylength_ < 0 || bodybytes_ >= bodylength_;
  if (reset != 0 && (bodylength_ < 0 || !complete)) {
    reason = errortext(reset);
    return reset;
  }
  if (reset == 0 && !complete) {
    reason = "Connection closed after " + std::to_string(bodybytes_) + " of " +
             std::to_string(bodylength_) + " bytes of the body";
    return ShortBodyError;
  }
  return 0;
}
