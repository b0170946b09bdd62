// THttpCli, what a response may cost the client: a header line longer than the receive buffer
// is cut there (its kept part parsed and shown with a note, the rest dropped up to its line end),
// and the header lines kept per request are bounded in all.

#include <cstring>

#include "http/HttpProt.h"

bool THttpCli::KeepHeaderBytes(size_t n, size_t overhead) {
  // Room is left for the note that says the rest was not kept.
  constexpr size_t kNoteRoom = 128;
  if (storedbytes_ + n + overhead + kNoteRoom > MaxStoredHeaderBytes) [[unlikely]] {
    if (!headersnoted_) {
      headersnoted_ = true;
      ResponseHeaders.push_back(HeaderCutNote);
      // Nothing is added from here on: the list gives back the room its growth took ahead.
      ResponseHeaders = THeaderList(ResponseHeaders);
    }
    return false;
  }
  storedbytes_ += n + overhead;
  return true;
}

void THttpCli::StartCutLine() {
  const char* data = ReceiveBuffer.Data();
  if (samename(std::string_view(data, 6), "<html>")) {
    // A line that starts the document (the header-less kind): nothing of it is dropped.
    ReceiveBuffer.TakeAll(LastLine);
    HandleLine();
    return;
  }
  // A zero byte hides what follows it from line splitting: the kept part ends there.
  const size_t kept = strnlen(data, size_t(ReceiveBuffer.Count()));
  cuttext_.assign(data, kept);
  cutdropped_ = 0;
  cutlast_ = kept > 0 ? data[kept - 1] : 0;
  cutting_ = true;
  ReceiveBuffer.Skip(int(kept));
}

bool THttpCli::EndCutLine() {
  const char* data = ReceiveBuffer.Data();
  const int count = ReceiveBuffer.Count();
  const void* lf = std::memchr(data, '\n', size_t(count));
  const int drop = lf == nullptr ? count : int(static_cast<const char*>(lf) - data);
  if (drop > 0) cutlast_ = data[drop - 1];
  cutdropped_ += drop;
  if (lf == nullptr) {
    ReceiveBuffer.Clear();
    return false;
  }
  ReceiveBuffer.Skip(drop + 1);
  cutting_ = false;
  // The line's own CR is no part of it.
  if (cutlast_ == '\r') {
    if (cutdropped_ > 0) {
      --cutdropped_;
    } else if (!cuttext_.empty()) {
      cuttext_.pop_back();
    }
  }
  LastLine.swap(cuttext_);
  std::string().swap(cuttext_);
  // A handler may have ended the request while the line was dropped.
  if (state_ != hsWaitingHeader || linehandler_ != lhHeaderLine) return true;
  if (cutdropped_ == 0) {
    // It just filled the buffer: not cut at all.
    HandleLine();
    return true;
  }
  cutkept_ = LastLine.size();
  const std::string note = " (line of " + std::to_string(int64_t(cutkept_) + cutdropped_) +
                           " bytes cut to " + std::to_string(cutkept_) + ")";
  LastLine.reserve(cutkept_ + note.size());  // just that: the room is given back with the header
  LastLine += note;
  HandleLine();
  cutkept_ = std::string::npos;
  return true;
}
