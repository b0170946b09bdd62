// THttpCli, the end of a request: the server's close (also in the middle of a header, and the one
// that ends a relocated response before the next request), Abort, and the test seams that feed
// the receive path without a socket.

#include <cstring>

#include "http/HttpProt.h"
#include "net/ErrorCodes.h"

// ---- End of the response ----

void THttpCli::ConnectionClosed(uint16_t Error) {
  if (relocationclose_) {
    RelocationSessionClosed();
    return;
  }
  if (tls_ != nullptr && !tls_->Established()) TlsClosed(Error);
  // A header-less document whose first line ends with the close is still a document.
  if (state_ == hsWaitingHeader && linehandler_ == lhHeaderLine && ReceiveBuffer.Count() >= 6 &&
      samename(std::string_view(ReceiveBuffer.Data(), 6), "<html>")) {
    ReceiveBuffer.TakeAll(LastLine);
    HandleLine();  // the header-line handler, as checked above
  }
  // A header the server cut off (a reset, or a close after part of it) is a failed request with
  // whatever status line came: only a complete header makes the close the end of a response.
  const bool partheader = headerlines_ > 0 || ReceiveBuffer.Count() > 0;
  if (state_ == hsWaitingHeader && requesterror_ == 0 && !selfclosed_ &&
      (Error != 0 || partheader)) {
    if (Error != 0) {
      Fail(Error, ErrorDesc(Error) + " (Error #" + std::to_string(Error) + ")");
    } else {
      Fail(HeaderCutError, "Connection closed before the end of the header");
    }
  }
  SessionClosed();
}

void THttpCli::ResponseClosed(uint16_t Error) {
  ConnectionClosed(Error);
}

void THttpCli::SessionClosed() {
  ++closes_;
  Connected = false;
  // A header-less document can leave an unfinished last line in the buffer: it is still part of
  // the document.
  if (state_ == hsWaitingBody && linehandler_ == lhBodyData && ReceiveBuffer.Count() > 0) {
    BufferedBody();
  }
  if (docchunks_ > 0) FireDocEnd();
  PostSetReady();
}

void THttpCli::RelocationSessionClosed() {
  Connected = false;
  RelocationPending = false;
  relocationclose_ = false;
  reconnectpending_ = true;
  if (handler_ != nullptr) handler_->LocationChange(this);
  uint32_t serial = serial_;
  notices_.Post([this, serial] {
    // Abort (or a new request) after the relocation cancels the reconnect.
    if (serial != serial_ || !reconnectpending_) return;
    reconnectpending_ = false;
    Reconnect();
  });
}

void THttpCli::Reconnect() {
  // The relocated POST sends the same body again, matching its Content-Length.
  if (RequestType == rqPost && PostStream != nullptr) PostStream->Seek(poststart_);
  try {
    StartConnect();
  } catch (const std::exception&) {
    // Nobody could catch this from a notice: complete the request as a failed lookup.
    int code = socket_.LastError() != 0 ? socket_.LastError() : 10022;
    Fail(uint16_t(code), "can't resolve hostname to IP address");
    SessionClosed();
  }
}

// ---- Abort ----

void THttpCli::Abort() {
  try {
    if (state_ == hsReady) {
      if (socket_.State() != wsClosed) socket_.Close();
      return;
    }
    bool waslookup = state_ == hsDnsLookup;
    SetState(hsAborting);
    reconnectpending_ = false;
    if (waslookup) {
      try {
        socket_.CancelLookup();
      } catch (const std::exception&) {
      }
    }
    Fail(3, "Connection aborted on request");
    if (waslookup) {
      SessionClosed();
    } else {
      CloseConnection();
    }
    SetState(hsReady);
  } catch (const std::exception&) {
    // A socket that cannot be closed cleanly must not keep the request open.
    if (state_ != hsReady) SetState(hsReady);
  }
}

// ---- Test seams ----

void THttpCli::ExpectResponse(THttpRequest rq) {
  ResponseHeaders.clear();
  RequestType = rq;
  requesterror_ = 0;
  ++serial_;
  RelocationPending = false;
  relocationclose_ = false;
  reconnectpending_ = false;
  refusedscheme_.clear();
  selfclosed_ = false;
  discarding_ = false;
  ReceiveBuffer.Clear();
  storedbytes_ = 0;
  StatusCode = 0;
  BytesReceived = 0;
  headerlines_ = 0;
  docchunks_ = 0;
  ContentLength = -1;
  Location = URL;
  Connected = true;
  linehandler_ = lhHeaderLine;
  SetState(hsWaitingHeader);
}
