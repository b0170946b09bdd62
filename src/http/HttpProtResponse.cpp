// THttpCli, response side: reading, the pieces the response parser finds in what was read (header
// lines, the document) and the posted notices. Where a relocation goes, the end of a request and
// Abort: HttpProtEnd.cpp; the framing itself: ResponseParser.cpp.

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
          c->parser_.release();
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
  if (parser_.overflowed()) {
    // After a line that is too long nothing more is handled; the data are read and dropped so
    // that the peer's close still arrives and readiness does not repeat for ever.
    char scratch[1024];
    socket_.Receive(scratch, sizeof scratch);
    return;
  }
  if (state_ == hsWaitingBody && parser_.direct()) {
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
  char* at = parser_.room(room);
  if (at == nullptr) throw EHttpException("HTTP line too long", 4);
  return at;
}

void THttpCli::Received(int count, int room) {
  if (RequestType != rqNone && count > 0) {
    parser_.commit(std::min(count, room));
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
    HandlePieces();
    if (state_ == hsWaitingBody) givelineroom(LastLine);
  }
  // Only an unfinished line needs the storage until the next read; otherwise it goes back at
  // once, and the next read of any client on this thread takes the same block again.
  parser_.release();
}

void THttpCli::HandlePieces() {
  for (;;) {
    const TResponseParser::TPiece piece = parser_.next(LastLine);
    if (piece == TResponseParser::pNone) return;
    if (state_ == hsWaitingHeader || state_ == hsWaitingBody) {
      HandlePiece(piece);
    } else if (piece == TResponseParser::pBody) {
      // What comes while no response is awaited (a handler ended the request) is dropped.
      parser_.clear();
    }
  }
}

// ---- Header ----

// One piece of the response: it runs for every header line.
void THttpCli::HandlePiece(TResponseParser::TPiece piece) {
  using P = TResponseParser;
  if (piece == P::pBody) {
    BufferedBody();
    return;
  }
  if (piece == P::pDocLine) {
    BodyData(LastLine.c_str(), int(LastLine.size()));
    return;
  }
  if (parser_.headerlines() == 1) FireHeaderBegin();
  switch (piece) {
    case P::pDocument:
      // No header at all: the document starts with this very line.
      if (ContentType.empty()) ContentType = "text/html";
      SetState(hsWaitingBody);
      FireHeaderEnd();
      // The line is the document's first: it was taken as a header line.
      if (state_ == hsWaitingBody) BodyData(LastLine.c_str(), int(LastLine.size()));
      return;
    case P::pHeaderEnd:
      HeaderEnd();
      return;
    case P::pBadNumber:
      KeepHeaderLine();
      return;
    case P::pStatus:
      KeepHeaderLine();
      StatusCode = parser_.status();
      // Not assign: the phrase never overlaps ReasonPhrase, and append skips that check.
      ReasonPhrase.clear();
      ReasonPhrase.append(parser_.reason());
      break;
    case P::pField:
      KeepHeaderLine();
      HeaderField();
      break;
    default:
      KeepHeaderLine();
      break;
  }
  if (handler_ != nullptr) handler_->HeaderData(this);
  // An error page is not worth downloading: the close completes the request.
  if (StatusCode >= 400) CloseConnection();
}

void THttpCli::KeepHeaderLine() {
  // Each kept line costs its end's place in the list too.
  if (KeepHeaderBytes(LastLine.size(), sizeof(size_t))) ResponseHeaders.push_back(LastLine);
}

void THttpCli::HeaderField() {
  const std::string_view value = parser_.value();
  switch (parser_.field()) {
    case TResponseParser::tLocation:
      // A location cut short would send the request to a place nobody named.
      if (!value.empty() && parser_.cutkept() == std::string::npos) Relocate(std::string(value));
      break;
    case TResponseParser::tContentLength:
      ContentLength = parser_.contentlength();
      break;
    case TResponseParser::tContentType:
      // Not assign: the value never overlaps ContentType, and append skips that check.
      ContentType.clear();
      ContentType.append(value);
      lowercase(ContentType);
      break;
    case TResponseParser::tAuthenticate:
      if (KeepHeaderBytes(value.size(), sizeof(std::string))) AuthChallenges.emplace_back(value);
      break;
    case TResponseParser::tOther:
      break;
  }
}

bool THttpCli::KeepHeaderBytes(size_t n, size_t overhead) {
  switch (parser_.keep(n, overhead)) {
    case TResponseParser::kKeep:
      return true;
    case TResponseParser::kDropFirst:
      ResponseHeaders.push_back(HeaderCutNote);
      // Nothing is added from here on: the list gives back the room its growth took ahead.
      ResponseHeaders = THeaderList(ResponseHeaders);
      return false;
    case TResponseParser::kDrop:
      break;
  }
  return false;
}

void THttpCli::HeaderEnd() {
  if (RelocationPending && !refusedscheme_.empty()) {
    RelocationPending = false;
    Fail(RelocationSchemeError, "Relocation to " + refusedscheme_ + ": not followed");
    FireHeaderEnd();
    parser_.clear();
    CloseConnection();
    return;
  }
  if (RelocationPending && ++relocations_ > MaxRelocations) {
    RelocationPending = false;
    Fail(10062, "Too many relocations");
    FireHeaderEnd();
    parser_.clear();
    CloseConnection();
    return;
  }
  if (RelocationPending) {
    RelocatedMethod();
    FireHeaderEnd();
    // The relocated response is read no further; the next connection brings a fresh one.
    parser_.begin();
    docchunks_ = 0;
    relocationclose_ = true;
    CloseConnection();
    return;
  }

  // The type first: it is a plain comparison, and the extension is a new text.
  if (ContentType == "text/html" && extensionof(DocumentName) == ".exe") {
    DocumentName = ChangeExtension(DocumentName, "htm");
  }
  parser_.startbody(RequestType == rqHead, StatusCode);
  SetState(hsWaitingBody);
  FireHeaderEnd();
  if (state_ == hsWaitingBody && parser_.buffered() > 0) BufferedBody();
}

// ---- Document ----

void THttpCli::BodyData(const char* data, int len) {
  if (docchunks_ == 0) FireDocBegin();
  ++docchunks_;
  BytesReceived += int64_t(len);
  parser_.counted(len);
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
  const int count = parser_.takebody(chunk);
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
