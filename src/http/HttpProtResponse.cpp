// THttpCli, response side: reading and splitting the response, header lines, the document and the
// posted notices. Where a relocation goes, the end of a request and Abort: HttpProtEnd.cpp; header
// lines cut for length and the bound of the kept header: HttpProtBounds.cpp.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "http/HttpProt.h"
#include "http/UrlSplit.h"
#include "net/ErrorCodes.h"

namespace {

void lowercase(std::string& s) {
  for (char& c : s) {
    // Only capitals and bytes beyond ASCII can change, whatever the locale; the rest (nearly
    // every byte of a media type) needs no call.
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || u >= 0x80) c = char(std::tolower(u));
  }
}

// A field name compared without case. The spelling nearly every server sends is tried first:
// as a whole it is compared a word at a time, where samename goes byte by byte.
template <size_t N>
bool isname(std::string_view name, const char (&usual)[N], const char (&lower)[N]) {
  return (name.size() == N - 1 && std::memcmp(name.data(), usual, N - 1) == 0) ||
         samename(name, lower);
}

// Room for a usual header line.
constexpr size_t kLineRoom = 128;

// LastLine's room, given back by a client whose header is complete and taken by the next client
// of this thread that receives one: clients come and go by the thousand, and each would otherwise
// take a block of its own.
std::string& sparelineroom() {
  thread_local std::string spare;
  return spare;
}

// After the header LastLine stays empty: its room goes to the next response of this thread.
// The room of a long line (up to a cut one's) is not kept for the rest of the response either.
void givelineroom(std::string& line) {
  if (line.empty() && line.capacity() >= kLineRoom) {
    std::string& spare = sparelineroom();
    if (spare.capacity() < kLineRoom) {
      spare = std::move(line);
      line.clear();
    } else if (line.capacity() > 8 * kLineRoom) {
      std::string().swap(line);
    }
  }
}

}  // namespace

// ---- State and notices ----

void THttpCli::SetState(THttpClientState value) {
  if (state_ == value) return;
  state_ = value;
  if (value == hsReady) {
    // Posted before OnStateChange runs, so a handler may even destroy the client. A plain
    // notice: every request posts this one.
    notices_.Post(
        [](void* self, uint32_t) {
          auto* c = static_cast<THttpCli*>(self);
          // The request is over: its buffers go back until the next request needs them.
          c->ReceiveBuffer.Release();
          c->SendBuffer.reset();
          c->tls_.reset();
          // The handler may destroy this client.
          if (c->handler_ != nullptr) c->handler_->RequestDone(c, c->RequestType, c->requesterror_);
        },
        this, 0);
  }
  if (handler_ != nullptr) handler_->StateChange(this);
}

void THttpCli::PostSetReady() {
  // A plain notice, as every request posts it.
  notices_.Post(
      [](void* self, uint32_t serial) {
        auto* c = static_cast<THttpCli*>(self);
        if (serial == c->serial_) c->SetState(hsReady);
      },
      this, serial_);
}

// ---- Reading ----

void THttpCli::DataAvailable() {
  if (tls_ != nullptr) {
    TlsDataAvailable();
    return;
  }
  if (discarding_) {
    // After a line that is too long nothing more is handled; the data are read and dropped so
    // that the peer's close still arrives and readiness does not repeat for ever.
    char scratch[1024];
    socket_.Receive(scratch, sizeof scratch);
    return;
  }
  if (state_ == hsWaitingBody && linehandler_ == lhBodyData && ReceiveBuffer.Count() == 0) {
    // Document bytes go to their handler straight from the read: the receive buffer is needed
    // only for an unfinished line, and taking its storage and giving it back would cost more
    // than the chunk's handling (the read that finds the close is one of these too).
    char chunk[TReceiveBuffer::Capacity + 1];
    const int count = socket_.Receive(chunk, TReceiveBuffer::Capacity);
    if (count > 0) NoteArrival();
    if (RequestType != rqNone && count > 0) {
      chunk[count] = 0;  // the chunk reads as a C string too
      BodyData(chunk, count);
      if (state_ == hsWaitingBody) givelineroom(LastLine);
    }
    return;
  }
  int room = 0;
  char* at = ReadRoom(room);
  int count = socket_.Receive(at, room);
  if (count > 0) NoteArrival();
  Received(count, room);
}

void THttpCli::NoteArrival() {
  const int64_t stamp = tls_ != nullptr ? tls_->LastRxStamp() : socket_.LastRxStamp();
  if (stamp == 0) {
    wiretimes_.unstamped = true;
    return;
  }
  // The request's departure is read with its response: a POST body sent in chunks has then
  // been handed over in full.
  if (wiretimes_.firstrx == 0) {
    wiretimes_.firstrx = stamp;
    wiretimes_.sent = socket_.LastSendDone();
    wiretimes_.sendbegan = socket_.LastSendBegan();
  }
  wiretimes_.lastrx = stamp;
}

void THttpCli::ReadResponse(const std::function<int(char*, int)>& read) {
  int room = 0;
  char* at = ReadRoom(room);
  Received(read(at, room), room);
}

char* THttpCli::ReadRoom(int& room) {
  char* at = ReceiveBuffer.Reserve(room);
  if (room <= 0) {
    discarding_ = true;
    throw EHttpException("HTTP line too long", 4);
  }
  return at;
}

void THttpCli::Received(int count, int room) {
  if (RequestType != rqNone && count > 0) {
    ReceiveBuffer.Commit(std::min(count, room));
    // Header lines are taken into LastLine one after another: room for a usual one at once saves
    // growing it line by line, and the room a finished header gave back saves a new block.
    if (state_ != hsWaitingBody && LastLine.capacity() < kLineRoom) {
      std::string& spare = sparelineroom();
      if (spare.capacity() < kLineRoom) {
        LastLine.reserve(kLineRoom);
      } else if (LastLine.empty()) {
        // Both are empty: a move hands the block over in a few stores, where swap takes the
        // general path for every response.
        LastLine = std::move(spare);
        spare.clear();
      } else {
        spare.assign(LastLine);
        LastLine.swap(spare);
        spare.clear();
      }
    }
    SplitReceived();
    if (state_ == hsWaitingBody) givelineroom(LastLine);
  }
  // Only an unfinished line needs the storage until the next read; otherwise it goes back at
  // once, and the next read of any client on this thread takes the same block again.
  ReceiveBuffer.Release();
}

void THttpCli::SplitReceived() {
  if (state_ == hsWaitingBody) {
    if (ReceiveBuffer.Count() > 0) {
      if (linehandler_ == lhBodyData) {
        BufferedBody();
      } else {
        ReceiveBuffer.TakeAll(LastLine);
        HandleLine();
      }
    }
    return;
  }
  for (;;) {
    if (cutting_ && !EndCutLine()) return;
    while (ReceiveBuffer.Count() > 0 && ReceiveBuffer.TakeLine(LastLine)) {
      if (state_ == hsWaitingHeader || state_ == hsWaitingBody) {
        // The header's lines directly: HandleLine would be a call per line.
        if (linehandler_ == lhHeaderLine) {
          HeaderLine();
        } else {
          HandleLine();
        }
      }
    }
    // A header line as long as the whole buffer is cut there: the response goes on.
    if (ReceiveBuffer.Count() < TReceiveBuffer::Capacity || state_ != hsWaitingHeader ||
        linehandler_ != lhHeaderLine) {
      return;
    }
    StartCutLine();
  }
}

void THttpCli::HandleLine() {
  switch (linehandler_) {
    case lhHeaderLine:
      HeaderLine();
      break;
    case lhBodyData:
      BodyData(LastLine.c_str(), int(LastLine.size()));
      break;
    case lhNone:
      PostSetReady();
      break;
  }
}

// ---- Header ----

// Inline wherever it is called, above all in the line loop of SplitReceived: it runs for every
// header line, and the call with the six registers it saves came to some 20 instructions a line.
[[gnu::always_inline]] inline void THttpCli::HeaderLine() {
  if (headerlines_ == 0) FireHeaderBegin();
  ++headerlines_;

  // A cut line is parsed as far as it was kept: the note behind it is no part of its value.
  std::string_view line(LastLine);
  if (cutkept_ != std::string::npos) [[unlikely]]
    line = line.substr(0, cutkept_);
  if (line.size() >= 6 && line[0] == '<' && samename(std::string_view(line.data(), 6), "<html>")) {
    // No header at all: the document starts with this very line.
    if (ContentType.empty()) ContentType = "text/html";
    SetState(hsWaitingBody);
    linehandler_ = lhBodyData;
    FireHeaderEnd();
    // The line is the document's first: it was taken as a header line.
    if (state_ == hsWaitingBody) BodyData(LastLine.c_str(), int(LastLine.size()));
    return;
  }

  if (!LastLine.empty()) {
    // Each kept line costs its end's place in the list too.
    if (KeepHeaderBytes(LastLine.size(), sizeof(size_t))) ResponseHeaders.push_back(LastLine);
    // A status code or length that is not a number drops the line: the field keeps its value.
    // A field's value is looked at only for the names this client reads.
    if (isstatusline(line)) {
      int code = 0;
      if (!statuscode(LastLine, code)) return;
      StatusCode = code;
      // Not assign: the phrase never overlaps ReasonPhrase, and append skips that check.
      ReasonPhrase.clear();
      ReasonPhrase.append(reasonphrase(line));
    } else if (const size_t colon = fieldnameend(line); colon != std::string_view::npos) {
      const std::string_view name(line.data(), colon);
      // The names this client reads differ in length: one comparison of text at most.
      switch (colon) {
        case 8:
          if (isname(name, "Location", "location")) {
            const std::string_view value = fieldvalue(line, colon);
            // A location cut short would send the request to a place nobody named.
            if (!value.empty() && cutkept_ == std::string::npos) Relocate(std::string(value));
          }
          break;
        case 14:
          if (isname(name, "Content-Length", "content-length")) {
            int64_t length = 0;
            if (!decimal(fieldvalue(line, colon), length)) return;
            ContentLength = length;
            bodylength_ = length;
          }
          break;
        case 12:
          if (isname(name, "Content-Type", "content-type")) {
            // Not assign: the value never overlaps ContentType, and append skips that check.
            ContentType.clear();
            ContentType.append(fieldvalue(line, colon));
            lowercase(ContentType);
          }
          break;
        case 16:
          if (isname(name, "WWW-Authenticate", "www-authenticate")) {
            const std::string_view value = fieldvalue(line, colon);
            if (KeepHeaderBytes(value.size(), sizeof(std::string))) {
              AuthChallenges.emplace_back(value);
            }
          }
          break;
        default:
          break;
      }
    }
    if (handler_ != nullptr) handler_->HeaderData(this);
    // An error page is not worth downloading: the close completes the request.
    if (StatusCode >= 400) CloseConnection();
    return;
  }

  if (RelocationPending && !refusedscheme_.empty()) {
    RelocationPending = false;
    Fail(RelocationSchemeError, "Relocation to " + refusedscheme_ + ": not followed");
    FireHeaderEnd();
    ReceiveBuffer.Clear();
    CloseConnection();
    return;
  }
  if (RelocationPending && ++relocations_ > MaxRelocations) {
    RelocationPending = false;
    Fail(10062, "Too many relocations");
    FireHeaderEnd();
    ReceiveBuffer.Clear();
    CloseConnection();
    return;
  }
  if (RelocationPending) {
    RelocatedMethod();
    FireHeaderEnd();
    ReceiveBuffer.Clear();
    headerlines_ = 0;
    docchunks_ = 0;
    relocationclose_ = true;
    CloseConnection();
    return;
  }

  // The type first: it is a plain comparison, and the extension is a new text.
  if (ContentType == "text/html" && extensionof(DocumentName) == ".exe") {
    DocumentName = ChangeExtension(DocumentName, "htm");
  }
  // No body follows these, whatever length they announce.
  if (RequestType == rqHead || StatusCode == 204 || StatusCode == 304 ||
      (StatusCode >= 100 && StatusCode < 200)) {
    bodylength_ = -1;
  }
  bodystart_ = BytesReceived;
  SetState(hsWaitingBody);
  linehandler_ = lhBodyData;
  FireHeaderEnd();
  if (state_ == hsWaitingBody && ReceiveBuffer.Count() > 0) BufferedBody();
}

// ---- Document ----

void THttpCli::BodyData(const char* data, int len) {
  if (docchunks_ == 0) FireDocBegin();
  ++docchunks_;
  BytesReceived += int64_t(len);
  FireDocData(data, len);
  if (ResponseStream != nullptr) ResponseStream->Write(data, int64_t(len));
}

void THttpCli::BufferedBody() {
  // A copy on the stack, still followed by its zero byte, rather than the buffer's own bytes: a
  // handler may end the request and start the next exchange on this client before it is done
  // with the chunk, and that exchange reads into the buffer. Only the bytes that came with the
  // header, or after an unfinished line, pass here; the rest of a document goes straight from
  // its read to the handler.
  char chunk[TReceiveBuffer::Capacity + 1];
  const int count = ReceiveBuffer.Count();
  std::memcpy(chunk, ReceiveBuffer.Data(), size_t(count) + 1);
  ReceiveBuffer.Clear();
  BodyData(chunk, count);
}

// ---- Events fired through overridable operations ----

void THttpCli::FireHeaderBegin() {
  if (handler_ != nullptr) handler_->HeaderBegin(this);
}
void THttpCli::FireHeaderEnd() {
  if (handler_ != nullptr) handler_->HeaderEnd(this);
}
void THttpCli::FireDocBegin() {
  if (handler_ != nullptr) handler_->DocBegin(this);
}
void THttpCli::FireDocData(const char* Buffer, int Len) {
  if (handler_ != nullptr) handler_->DocData(this, Buffer, Len);
}
void THttpCli::FireDocEnd() {
  if (handler_ != nullptr) handler_->DocEnd(this);
}
