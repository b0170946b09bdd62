// THttpCli, request side: construction, starting a request, name lookup, connect, the request
// header and the POST body.

#include "http/HttpProt.h"

#include "http/HttpRequest.h"
#include "http/SecureCookies.h"
#include "http/UrlSplit.h"
#include "net/ErrorCodes.h"

namespace {

// A URL taken apart, with the file name of its document.
struct TSplitUrl {
  std::string url;
  TUrlParts parts;
  std::string document;
  std::string target;      // the request target without a proxy
  std::string originhost;  // the host as hostkey compares it
  std::string port;        // the URL's port, its scheme's default when it names none
  bool secure = false;     // an https URL
};

bool ishttps(const std::string& scheme) {
  return scheme.size() == 5 && samename(scheme, "https");
}

// The engine starts thousands of clients on the same URL: it is taken apart once for all of them
// (on each thread), not once per request. The result stays valid until the next call.
const TSplitUrl& spliturl(const std::string& url) {
  thread_local TSplitUrl last{"", SplitURL(""), documentname(""), "/", hostkey(""), "80", false};
  if (url != last.url) {
    last.parts = SplitURL(url);
    last.document = documentname(last.parts.path);
    last.target = requesttarget(last.parts.path);
    if (last.target.empty()) last.target = "/";
    last.originhost = hostkey(last.parts.host);
    last.secure = ishttps(last.parts.scheme);
    last.port = !last.parts.port.empty() ? last.parts.port : last.secure ? "443" : "80";
    last.url = url;
  }
  return last;
}

// Storage of the request text, kept between requests of this thread: the socket copies what it
// sends, and a new block for every request cost more than composing the text.
std::string& sparerequesttext() {
  thread_local std::string spare;
  return spare;
}

}  // namespace

THttpCli::THttpCli(TEventLoop& loop) : OnStateChange{this}, notices_(loop), socket_(loop) {
  socket_.SetHandler(this);
}

THttpCli::~THttpCli() = default;

// ---- The socket's events ----

void THttpCli::SocketDnsLookupDone(TWSocket*, uint16_t Error) {
  DnsLookupDone(Error);
}

void THttpCli::SocketSessionConnected(TWSocket*, uint16_t Error) {
  SessionConnected(Error);
}

bool THttpCli::SocketDataAvailable(TWSocket*, uint16_t) {
  if (tunnel_ != nullptr) {
    TunnelDataAvailable();
  } else {
    DataAvailable();
  }
  return true;
}

void THttpCli::SocketDataSent(TWSocket*, uint16_t) {
  DataSent();
}

bool THttpCli::SocketSessionClosed(TWSocket*, uint16_t Error) {
  if (tunnel_ != nullptr) TunnelClosed(Error);
  ConnectionClosed(Error);
  return true;
}

void THttpCli::SetMultiThreaded(bool value) {
  multithreaded_ = value;
  socket_.SetMultiThreaded(value);
}

void THttpCli::Get() {
  DoRequest(rqGet);
}

void THttpCli::Post() {
  DoRequest(rqPost);
}

void THttpCli::DoRequest(THttpRequest rq) {
  if (state_ != hsReady) throw EHttpException("HTTP component is busy", 1);
  if (rq == rqPost && PostStream == nullptr) {
    throw EHttpException("HTTP component has nothing to post", 2);
  }
  ResetRequest(rq);
  SetState(hsStarting);
  DocumentName.clear();
  poststart_ = rq == rqPost ? PostStream->Position() : 0;

  const TSplitUrl& split = spliturl(URL);
  const TUrlParts& u = split.parts;
  TargetHost = u.host;
  if (!u.user.empty()) Username = u.user;
  if (!u.password.empty()) Password = u.password;
  DocumentName = split.document;
  if (Proxy.empty()) {
    RequestTarget = split.target;
    ConnectHost = u.host;
    ConnectPort = split.port;
  } else {
    std::string port = u.port.empty() ? "" : ":" + u.port;
    RequestTarget =
        requesttarget((u.scheme.empty() ? "http" : u.scheme) + "://" + u.host + port + u.path);
    if (RequestTarget.empty()) RequestTarget = "/";
    TUrlParts p = SplitURL(Proxy);
    ConnectHost = p.host;
    ConnectPort = p.port.empty() ? ProxyPort : p.port;
  }
  originhost_ = split.originhost;
  originport_ = split.port;
  secure_ = split.secure;
  originsecure_ = split.secure;
  StartConnect();
}

void THttpCli::ResetRequest(THttpRequest rq) {
  ResponseHeaders.clear();
  RequestType = rq;
  requesterror_ = 0;
  // Notices of an earlier request are ignored from here on.
  ++serial_;
  RelocationPending = false;
  relocationclose_ = false;
  reconnectpending_ = false;
  relocations_ = 0;
  refusedscheme_.clear();
  selfclosed_ = false;
  parser_.newrequest();
  wiretimes_ = TWireTimes();
  StatusCode = 0;
  BytesReceived = 0;
  BytesSent = 0;
  docchunks_ = 0;
  ContentLength = -1;
  sendingpost_ = false;
  Location = URL;
}

bool THttpCli::AtOrigin() const {
  if (Proxy.empty()) {
    // A host already in the form hostkey gives (the usual case) needs no new key.
    return (TargetHost == originhost_ || hostkey(TargetHost) == originhost_) &&
           ConnectPort == originport_ && secure_ == originsecure_;
  }
  // Through a proxy the request target is the absolute URL.
  TUrlParts t = SplitURL(RequestTarget);
  const bool secure = ishttps(t.scheme);
  const std::string port = !t.port.empty() ? t.port : secure ? "443" : "80";
  return hostkey(t.host) == originhost_ && port == originport_ && secure == originsecure_;
}

std::string THttpCli::HostField() const {
  if (!Proxy.empty()) {
    // The proxy checks the Host line against the authority of the absolute request target.
    TUrlParts t = SplitURL(RequestTarget);
    if (!t.host.empty()) return hostfield(t.scheme, t.host, t.port);
  }
  // A direct connection speaks its scheme to the port it connected to.
  return hostfield(secure_ ? "https" : "http", TargetHost, ConnectPort);
}

void THttpCli::StartConnect() {
  selfclosed_ = false;
  SetState(hsDnsLookup);
  socket_.DnsLookup(ConnectHost);
}

void THttpCli::CloseConnection() {
  selfclosed_ = true;
  socket_.Close();
  Connected = false;
}

void THttpCli::Fail(uint16_t error, const std::string& reason) {
  requesterror_ = error;
  StatusCode = 404;
  ReasonPhrase = reason;
}

void THttpCli::DnsLookupDone(uint16_t Error) {
  // A cancelled lookup reports after Abort has taken over; Abort completes the request itself.
  if (state_ != hsDnsLookup) return;
  if (Error != 0) {
    Fail(Error, "can't resolve hostname to IP address");
    SessionClosed();
    return;
  }
  SetState(hsConnecting);
  try {
    socket_.SetAddr(socket_.DnsResult());
    socket_.SetPort(ConnectPort);
    static const std::string tcp = "tcp";  // made once, not for every connection
    socket_.SetProto(tcp);
    connectbegan_ = THttpCli::MonotonicNs();
    socket_.Connect();
  } catch (const std::exception&) {
    // A refusal without a platform error (no port, say) must still read as a local failure, not
    // as a 404 that the server sent: it reports "Invalid argument".
    int code = socket_.LastError() != 0 ? socket_.LastError() : 10022;
    Fail(uint16_t(code),
         "can't connect: " + ErrorDesc(code) + " (Error #" + std::to_string(code) + ")");
    // The close may already run the session-closed handler; it must complete the request once.
    uint32_t before = closes_;
    try {
      socket_.Close();
    } catch (const std::exception&) {
    }
    if (closes_ == before) SessionClosed();
  }
}

void THttpCli::SessionConnected(uint16_t Error) {
  if (state_ != hsConnecting) return;
  if (Error != 0) {
    Fail(Error, ErrorDesc(Error) + " (Error #" + std::to_string(Error) + ")");
    SessionClosed();
    return;
  }
  Connected = true;
  // Each connection is one exchange; only the last one's times are kept.
  wiretimes_ = TWireTimes();
  wiretimes_.stamping = socket_.RxStamping();
  wiretimes_.connectbegan = connectbegan_;
  wiretimes_.connected = THttpCli::MonotonicNs();
  // Whatever an earlier connection of this request spoke (a relocation) is over.
  tls_.reset();
  tunnel_.reset();
  if (Tunnelled()) {
    StartTunnel();
  } else if (secure_) {
    StartTls();
  } else {
    Exchange();
  }
}

void THttpCli::Exchange() {
  SetState(hsConnected);
  FireSessionConnected();
  if (state_ != hsConnected) return;  // the handler aborted
  // Each connection brings one response of its own.
  parser_.begin();
  SetState(hsWaitingHeader);
  try {
    switch (RequestType) {
      case rqGet:
        SendRequestHeader("GET", "1.0");
        break;
      case rqPost:
        SendRequestHeader("POST", "1.0");
        if (state_ != hsWaitingHeader) break;  // aborted while the header was assembled
        FireSendBegin();
        sendingpost_ = true;
        SendPostChunk();
        break;
      case rqHead:
        SendRequestHeader("HEAD", "1.0");
        break;
      case rqNone:
        break;
    }
  } catch (const std::exception&) {
    // The request cannot go out; the close completes it through the normal path.
    try {
      CloseConnection();
    } catch (const std::exception&) {
    }
  }
}

void THttpCli::AddRequestLine(const std::string& Line) {
  if (handler_ != nullptr) handler_->Command(this, Line);
  RequestBuffer.append(Line).append("\r\n", 2);
}

void THttpCli::SendRequestHeader(std::string_view method, std::string_view version) {
  RequestBuffer.clear();
  FireRequestHeaderBegin();
  TRequestHeaderFields f;
  f.Method = method;
  f.Version = version;
  // Inside a proxy's tunnel the origin itself is spoken to: the path, and nothing for the proxy.
  const bool tunnelled = Tunnelled();
  const std::string originform = tunnelled ? TunnelTarget() : std::string();
  f.RequestTarget = tunnelled ? std::string_view(originform) : std::string_view(RequestTarget);
  const std::string host = HostField();
  f.TargetHost = host;
  f.Sender = Sender;
  f.Reference = Reference;
  f.Agent = Agent;
  const bool origin = AtOrigin();
  // A cookie marked Secure goes over https only.
  std::string plaincookie;
  if (origin && !secure_ && !Cookie.empty()) plaincookie = withoutsecure(Cookie);
  if (origin) f.Cookie = secure_ || Cookie.empty() ? std::string_view(Cookie) : plaincookie;
  f.ContentTypePost = ContentTypePost;
  if (origin) f.Username = Username;
  if (origin) f.Password = Password;
  if (!tunnelled) f.Proxy = Proxy;
  f.ProxyUsername = ProxyUsername;
  f.ProxyPassword = ProxyPassword;
  f.NoCache = NoCache;
  f.ModifiedSince = ModifiedSince;
  f.PostSize = PostStream != nullptr ? PostStream->Size() : 0;
  // Composed before the first OnCommand: a handler that changes a property affects the next
  // request, not the lines of this one. Held here, so a handler that starts another request
  // cannot take these lines away.
  const std::shared_ptr<const TComposedRequest> lines = composedrequest(f);
  const size_t bytes = lines->bytes + 2 * (lines->lines.size() + 1);  // with every CR LF
  if (RequestBuffer.empty() && RequestBuffer.capacity() < bytes) {
    // The storage the last request of this thread left: the text goes out with one copy anyway.
    std::string& spare = sparerequesttext();
    if (spare.capacity() >= bytes) RequestBuffer = std::move(spare);
  }
  RequestBuffer.reserve(bytes);
  for (const std::string& line : lines->lines) AddRequestLine(line);
  FireRequestHeaderEnd();
  static const std::string emptyline;  // made once, not for every request
  AddRequestLine(emptyline);
  // Out of the client before it is sent: a handler that starts another request during the send
  // cannot change these bytes. Moves, not swaps: the string left behind is dropped anyway.
  std::string text = std::move(RequestBuffer);
  RequestBuffer.clear();
  Transmit(text.data(), int(text.size()));
  std::string& spare = sparerequesttext();
  if (text.capacity() > spare.capacity()) {
    text.clear();
    spare = std::move(text);
  }
}

void THttpCli::SendPostChunk() {
  if (!sendingpost_) return;
  if (!SendBuffer) SendBuffer.reset(new char[SendBufferSize]);
  char* chunk = SendBuffer.get();
  int64_t count = PostStream != nullptr ? PostStream->Read(chunk, SendBufferSize) : 0;
  if (count > 0) {
    BytesSent += count;
    FireSendData(chunk, int(count));
    Transmit(chunk, int(count));
  } else {
    sendingpost_ = false;
    FireSendEnd();
  }
}

void THttpCli::Transmit(const char* data, int len) {
  if (tls_ == nullptr) {
    socket_.Send(data, len);
  } else if (!tls_->Write(data, len)) {
    TlsFailed("write");
  }
}

void THttpCli::DataSent() {
  // The next chunk is read only now, so at most one chunk of the body waits in the socket.
  try {
    if (socket_.State() == wsConnected) SendPostChunk();
  } catch (const std::exception&) {
    try {
      CloseConnection();
    } catch (const std::exception&) {
    }
  }
}

void THttpCli::FireSessionConnected() {
  if (handler_ != nullptr) handler_->SessionConnected(this);
}
void THttpCli::FireRequestHeaderBegin() {
  if (handler_ != nullptr) handler_->RequestHeaderBegin(this);
}
void THttpCli::FireRequestHeaderEnd() {
  if (handler_ != nullptr) handler_->RequestHeaderEnd(this);
}
void THttpCli::FireSendBegin() {
  if (handler_ != nullptr) handler_->SendBegin(this);
}
void THttpCli::FireSendData(const char* Buffer, int Len) {
  if (handler_ != nullptr) handler_->SendData(this, Buffer, Len);
}
void THttpCli::FireSendEnd() {
  if (handler_ != nullptr) handler_->SendEnd(this);
}
