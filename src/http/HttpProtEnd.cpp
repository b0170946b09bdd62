// THttpCli, the end of a request: the server's close (also in the middle of a header or before the
// announced length of the body, and the one that ends a relocated response before the next
// request), where a relocation goes and with which method, Abort, and the test seams that feed the
// receive path without a socket.

#include <cstring>

#include "http/HttpProt.h"
#include "http/Relocation.h"
#include "http/UrlSplit.h"
#include "net/ErrorCodes.h"

// ---- End of the response ----

void THttpCli::ConnectionClosed(uint16_t Error) {
  if (relocationclose_) {
    RelocationSessionClosed();
    return;
  }
  if (tls_ != nullptr && !tls_->Established()) TlsClosed(Error);
  if (state_ == hsWaitingHeader) {
    // A header-less document whose first line ends with the close is still a document.
    const TResponseParser::TPiece piece = parser_.closingdocument(LastLine);
    if (piece != TResponseParser::pNone) HandlePiece(piece);
  }
  // What the close makes of the response is the parser's to say; the client's own close (an
  // error status, Abort) is no end of the response's making.
  if ((state_ == hsWaitingHeader || state_ == hsWaitingBody) && requesterror_ == 0 &&
      !selfclosed_) {
    std::string reason;
    if (const uint16_t error = parser_.closed(Error, reason); error != 0) Fail(error, reason);
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
  if (state_ == hsWaitingBody && parser_.inbody() && parser_.buffered() > 0) {
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

// ---- Relocation ----

void THttpCli::Relocate(const std::string& value) {
  // Every location of one response is taken relative to the request that brought it; the last
  // one counts.
  if (!RelocationPending) {
    relocationbase_ = {ConnectHost, ConnectPort, TargetHost, RequestTarget};
    relocationbasesecure_ = secure_;
  }
  RelocationPending = true;
  const std::string url =
      relocationurl(relocationbase_, value, !Proxy.empty(), relocationbasesecure_);
  const std::string scheme = url.substr(0, url.find(':'));
  if (scheme != "http" && scheme != "https") {
    refusedscheme_ = scheme + ":";
    Location = value;
    return;
  }
  refusedscheme_.clear();
  THttpTarget t = relocate(relocationbase_, value, !Proxy.empty(), relocationbasesecure_);
  // The resolved URL's scheme is the next connection's (a relative location keeps the current
  // one); through a proxy an https URL goes through a tunnel, an http one to the proxy as a URL.
  secure_ = scheme == "https";
  ConnectHost = t.ConnectHost;
  ConnectPort = t.ConnectPort;
  TargetHost = t.TargetHost;
  RequestTarget = requesttarget(t.RequestTarget);
  if (RequestTarget.empty()) RequestTarget.assign(1, '/');  // not = "/": GCC 12 warns falsely
  Location = RequestTarget;
}

void THttpCli::RelocatedMethod() {
  // A form is never sent again to where "See Other" points, nor after 301 or 302, as browsers
  // do; 307 and 308 ask for the same method and body again.
  const bool toget = StatusCode == 303
                         ? RequestType != rqHead
                         : (StatusCode == 301 || StatusCode == 302) && RequestType == rqPost;
  if (toget) RequestType = rqGet;
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
  ResetRequest(rq);
  Connected = true;
  SetState(hsWaitingHeader);
}
