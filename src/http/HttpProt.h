#pragma once
// THttpCli: the asynchronous HTTP/1.0 client, one request at a time over a connection of its own.
// A caller sets the request properties, calls Get or Post and returns at once; everything else
// happens in events fired from the event loop. The response ends when the server closes the
// connection; the client has no time limit of its own (a caller that wants one calls Abort).
//
// Request side: HttpProt.cpp (start, lookup, connect, request text, POST body).
// Response side: HttpProtResponse.cpp (reading, header lines, document); the end of a request,
// where a relocation goes, and Abort: HttpProtEnd.cpp. The response's framing (lines, what a
// header may cost, the end of the body) is a TResponseParser's: ResponseParser.cpp.
// An https URL's connection speaks TLS through a TTlsLayer: HttpProtTls.cpp; through a proxy it
// first asks the proxy for a tunnel (CONNECT): HttpProtTunnel.cpp.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/NamedEvent.h"
#include "http/HeaderList.h"
#include "http/HttpLines.h"
#include "http/ProxyTunnel.h"
#include "http/Relocation.h"
#include "http/ResponseParser.h"
#include "http/Stream.h"
#include "net/EventLoop.h"
#include "net/TlsLayer.h"
#include "net/WSocket.h"

enum THttpRequest { rqNone, rqGet, rqPost, rqHead };

enum THttpClientState {
  hsReady,          // idle; a request may be started
  hsStarting,       // request accepted, URL being split
  hsConnected,      // TCP connection established
  hsDnsLookup,      // name lookup of ConnectHost under way
  hsConnecting,     // address known, connect issued
  hsWaitingHeader,  // request sent, reading header lines
  hsWaitingBody,    // reading the document
  hsAborting        // Abort in progress
};

// Misuse of the client: 1 busy, 2 nothing to post, 4 header line too long.
class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& msg, int code) : std::runtime_error(msg), ErrorCode(code) {}
  int ErrorCode;
};

class THttpCli;
using THttpNotify = std::function<void(THttpCli* Sender)>;
using TOnCommand = std::function<void(THttpCli* Sender, const std::string& S)>;
using TDocDataEvent = std::function<void(THttpCli* Sender, const char* Buffer, int Len)>;
using THttpRequestDone = std::function<void(THttpCli* Sender, THttpRequest RqType, uint16_t Error)>;

// Receives the events of HTTP clients, one method per event (see THttpCli's named events for
// when each fires). One handler may serve any number of clients: each call names its client, so
// a load test's thousands of clients share one handler instead of a set of callables each. The
// defaults do nothing.
class THttpCliHandler {
 public:
  virtual ~THttpCliHandler() = default;
  virtual void StateChange(THttpCli* /*Sender*/) {}
  virtual void SessionConnected(THttpCli* /*Sender*/) {}
  virtual void RequestHeaderBegin(THttpCli* /*Sender*/) {}
  virtual void Command(THttpCli* /*Sender*/, const std::string& /*S*/) {}
  virtual void RequestHeaderEnd(THttpCli* /*Sender*/) {}
  virtual void SendBegin(THttpCli* /*Sender*/) {}
  virtual void SendData(THttpCli* /*Sender*/, const char* /*Buffer*/, int /*Len*/) {}
  virtual void SendEnd(THttpCli* /*Sender*/) {}
  virtual void HeaderBegin(THttpCli* /*Sender*/) {}
  virtual void HeaderData(THttpCli* /*Sender*/) {}
  virtual void HeaderEnd(THttpCli* /*Sender*/) {}
  virtual void DocBegin(THttpCli* /*Sender*/) {}
  virtual void DocData(THttpCli* /*Sender*/, const char* /*Buffer*/, int /*Len*/) {}
  virtual void DocEnd(THttpCli* /*Sender*/) {}
  virtual void LocationChange(THttpCli* /*Sender*/) {}
  // The handler may destroy the client here.
  virtual void RequestDone(THttpCli* /*Sender*/, THttpRequest /*RqType*/, uint16_t /*Error*/) {}
};

// The named events of a client: a handler that calls the callable assigned to an event, and
// passes each event that has none on to Next (the handler set with SetHandler). A client makes it
// when one of its named events is first assigned.
class THttpCliEvents final : public THttpCliHandler {
 public:
  THttpNotify OnStateChange;
  THttpNotify OnSessionConnected;
  THttpNotify OnRequestHeaderBegin;
  TOnCommand OnCommand;
  THttpNotify OnRequestHeaderEnd;
  THttpNotify OnSendBegin;
  TDocDataEvent OnSendData;
  THttpNotify OnSendEnd;
  THttpNotify OnHeaderBegin;
  THttpNotify OnHeaderData;
  THttpNotify OnHeaderEnd;
  THttpNotify OnDocBegin;
  TDocDataEvent OnDocData;
  THttpNotify OnDocEnd;
  THttpNotify OnLocationChange;
  THttpRequestDone OnRequestDone;
  THttpNotify OnTrace;  // kept for callers; never fired
  THttpCliHandler* Next = nullptr;

  void StateChange(THttpCli* Sender) override {
    pass(OnStateChange, &THttpCliHandler::StateChange, Sender);
  }
  void SessionConnected(THttpCli* Sender) override {
    pass(OnSessionConnected, &THttpCliHandler::SessionConnected, Sender);
  }
  void RequestHeaderBegin(THttpCli* Sender) override {
    pass(OnRequestHeaderBegin, &THttpCliHandler::RequestHeaderBegin, Sender);
  }
  void Command(THttpCli* Sender, const std::string& S) override {
    pass(OnCommand, &THttpCliHandler::Command, Sender, S);
  }
  void RequestHeaderEnd(THttpCli* Sender) override {
    pass(OnRequestHeaderEnd, &THttpCliHandler::RequestHeaderEnd, Sender);
  }
  void SendBegin(THttpCli* Sender) override {
    pass(OnSendBegin, &THttpCliHandler::SendBegin, Sender);
  }
  void SendData(THttpCli* Sender, const char* Buffer, int Len) override {
    pass(OnSendData, &THttpCliHandler::SendData, Sender, Buffer, Len);
  }
  void SendEnd(THttpCli* Sender) override { pass(OnSendEnd, &THttpCliHandler::SendEnd, Sender); }
  void HeaderBegin(THttpCli* Sender) override {
    pass(OnHeaderBegin, &THttpCliHandler::HeaderBegin, Sender);
  }
  void HeaderData(THttpCli* Sender) override {
    pass(OnHeaderData, &THttpCliHandler::HeaderData, Sender);
  }
  void HeaderEnd(THttpCli* Sender) override {
    pass(OnHeaderEnd, &THttpCliHandler::HeaderEnd, Sender);
  }
  void DocBegin(THttpCli* Sender) override { pass(OnDocBegin, &THttpCliHandler::DocBegin, Sender); }
  void DocData(THttpCli* Sender, const char* Buffer, int Len) override {
    pass(OnDocData, &THttpCliHandler::DocData, Sender, Buffer, Len);
  }
  void DocEnd(THttpCli* Sender) override { pass(OnDocEnd, &THttpCliHandler::DocEnd, Sender); }
  void LocationChange(THttpCli* Sender) override {
    pass(OnLocationChange, &THttpCliHandler::LocationChange, Sender);
  }
  void RequestDone(THttpCli* Sender, THttpRequest RqType, uint16_t Error) override {
    if (!OnRequestDone) {
      if (Next != nullptr) Next->RequestDone(Sender, RqType, Error);
      return;
    }
    // A copy: the callable may destroy the client, and with it this adapter.
    THttpRequestDone done = OnRequestDone;
    done(Sender, RqType, Error);
  }

 private:
  // Calls fn when assigned, else Next's method. Nothing here is touched after the call.
  template <typename Fn, typename Method, typename... Args>
  void pass(const Fn& fn, Method method, Args&&... args) {
    if (fn) {
      fn(std::forward<Args>(args)...);
    } else if (Next != nullptr) {
      (Next->*method)(std::forward<Args>(args)...);
    }
  }
};

class THttpCli : private TSocketHandler, public TEventTarget<THttpCliHandler, THttpCliEvents> {
 public:
  // One POST chunk and one read: the two fixed buffers of a client.
  static constexpr int SendBufferSize = 8193;
  // Header lines kept in ResponseHeaders and AuthChallenges per request, in bytes with the cost of
  // keeping each line: a server that sends header lines (or relocations) without end must not
  // grow a client without bound. Lines beyond it are still parsed and fire OnHeaderData; in their
  // place ResponseHeaders ends with one line that says so (HeaderCutNote).
  static constexpr size_t MaxStoredHeaderBytes = TResponseParser::MaxKeptBytes;
  static constexpr const char* HeaderCutNote = "(further header lines not kept: over 32768 bytes)";
  // A header line longer than this is cut: its first MaxHeaderLine bytes are parsed and kept, the
  // rest up to its line end is dropped, and LastLine (so the header log) and ResponseHeaders show
  // the kept part followed by " (line of N bytes cut to MaxHeaderLine)". The response goes on.
  // A location line that was cut is not followed.
  static constexpr int MaxHeaderLine = TResponseParser::MaxLine;
  // Relocations followed per request, as browsers do: a server that relocates without end would
  // keep the request going and growing for ever. The one after the last completes the request
  // with StatusCode 404 and error 10062 (too many levels).
  static constexpr int MaxRelocations = 20;
  // Error of a relocation to another scheme than http: and https: (ftp:, mailto: ...), which
  // this client cannot follow.
  static constexpr uint16_t RelocationSchemeError = 10043;
  // Error of a connection the server closed in the middle of the header (a reset reports its
  // own code): an HTTP/1.0 response ends with the close only once its header is complete.
  static constexpr uint16_t HeaderCutError = TResponseParser::HeaderCutError;
  // Error of a connection the server closed before the body reached its Content-Length. A reset
  // after the header reports the reset's own code (10054) instead, unless the whole announced
  // body had arrived. Outside the codes that platform errors map to (10000 + errno at most).
  static constexpr uint16_t ShortBodyError = TResponseParser::ShortBodyError;
  // Error of an https request through a proxy that gave no tunnel: it refused CONNECT (its status
  // is named in ReasonPhrase), answered something that is not HTTP, or closed without an answer.
  static constexpr uint16_t TunnelError = 10122;

  explicit THttpCli(TEventLoop& loop = TEventLoop::Default());
  // Drops queued notices and closes the connection without firing events. Streams set by the
  // caller are not freed.
  virtual ~THttpCli();
  THttpCli(const THttpCli&) = delete;
  THttpCli& operator=(const THttpCli&) = delete;

  // ---- Request properties (kept between requests; a URL with user information overwrites
  // Username and Password) ----
  std::string URL;                 // absolute URL, optionally with user information, port, query
  std::string Proxy;               // proxy host, optionally ":port"; empty = direct connection
  std::string ProxyPort = "80";    // proxy port when Proxy names none
  std::string Sender;              // "From: "
  std::string Agent;               // "User-Agent: "
  std::string Reference;           // "Referer: "
  std::string Username, Password;  // "Authorization: Basic ", to the URL's host and port only
  std::string ProxyUsername, ProxyPassword;  // "Proxy-Authorization: Basic " (with a Proxy)
  bool NoCache = false;                      // "Pragma: no-cache"
  double ModifiedSince = 0;  // days since 1899-12-30; non-zero sends "If-Modified-Since: "
  std::string Cookie;        // "Cookie: ", sent as given, to the URL's host and port only
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  bool MultiThreaded() const { return multithreaded_; }
  void SetMultiThreaded(bool value);  // passed through to the socket
  TStream* PostStream = nullptr;      // POST body, read from its current position; not owned
  TStream* ResponseStream = nullptr;  // receives every document byte when set; not owned
  // Certificates and versions of https connections; not owned, and must outlive the request.
  // Null: the process's default (the system's store, checked).
  const TTlsContext* TlsContext = nullptr;
  // The user's TLS session, with a context that resumes: offered at the next handshake with the
  // same host, and replaced by each one a server gives. Not owned; must outlive the request.
  TTlsSession* TlsSession = nullptr;

  // ---- Results (valid after OnRequestDone) ----
  int StatusCode = 0;  // 0 until a status line is parsed; 404 for local failures
  std::string ReasonPhrase;
  THeaderList ResponseHeaders;              // every non-empty header line, status lines too
  std::vector<std::string> AuthChallenges;  // "www-authenticate" values (never cleared)
  std::string LastLine;                     // last header line (document bytes never pass here)
  int64_t ContentLength = -1;               // "content-length", -1 when none came
  std::string ContentType;                  // lower-cased "content-type" (not reset per request)
  std::string Location;                     // URL; after a relocation the new request target
  std::string ConnectHost, ConnectPort;     // where the socket connects (URL's or proxy's)
  std::string TargetHost;                   // host of the "Host: " line (its port: HostField)
  std::string RequestTarget;                // path, or absolute URI through a proxy
  std::string DocumentName;                 // file name derived from the URL
  int64_t BytesReceived = 0;                // document bytes delivered in this request
  int64_t BytesSent = 0;                    // POST body bytes handed to the socket
  THttpRequest RequestType = rqNone;
  THttpClientState State() const { return state_; }
  // The Error that OnRequestDone reports: 0, a socket error (10061 ...), 11001, 3 for Abort, or a
  // TLS failure (TTlsLayer::ProtocolError, VerifyError).
  uint16_t RequestError() const { return requesterror_; }
  TWSocket& CtrlSocket() { return socket_; }
  // The last exchange on the wire (after relocations, the final one): when the request's final
  // send returned (CLOCK_MONOTONIC ns, see TWSocket::LastSendDone) and the kernel's receive
  // stamps of the response's first and last read (CLOCK_REALTIME ns). 0 where there is none:
  // nothing sent or received, or no stamps (SetRxTimestamps off, or refused: stamping false).
  struct TWireTimes {
    int64_t sent = 0, firstrx = 0, lastrx = 0;
    int64_t sendbegan = 0;   // when the final send call began (CLOCK_MONOTONIC ns)
    bool stamping = false;   // the kernel took the request for receive stamps
    bool unstamped = false;  // a read of response bytes came without a stamp
    // The connection's phases (CLOCK_MONOTONIC ns): the connect call, the connection up, the
    // start and end of the TLS handshake (0 without TLS). Through a proxy the connection is the
    // one to the proxy, and the handshake starts once the proxy has opened the tunnel.
    int64_t connectbegan = 0, connected = 0, tlsbegan = 0, tlsdone = 0;
    bool tlsresumed = false;  // the handshake resumed an earlier session
  };
  const TWireTimes& WireTimes() const { return wiretimes_; }
  // The clock of TWireTimes' phases.
  static int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  // Asks the kernel for receive stamps on the connections of later requests.
  void SetRxTimestamps(bool value) { socket_.SetRxTimestamps(value); }

  // ---- Events ----
  // Handler() and SetHandler(): the handler that takes the client's events. The named events, each
  // optional; assigning one makes the client's THttpCliEvents.
  template <auto Member>
  using TEvent = TNamedEvent<THttpCli, Member>;
  union {
    TEvent<&THttpCliEvents::OnStateChange> OnStateChange;  // after every change of State()
    // Connection up, before the request is sent.
    TEvent<&THttpCliEvents::OnSessionConnected> OnSessionConnected;
    // Before the first request line is assembled.
    TEvent<&THttpCliEvents::OnRequestHeaderBegin> OnRequestHeaderBegin;
    // Per request line before it is added, last the empty one.
    TEvent<&THttpCliEvents::OnCommand> OnCommand;
    // After the last header line, before the empty line.
    TEvent<&THttpCliEvents::OnRequestHeaderEnd> OnRequestHeaderEnd;
    TEvent<&THttpCliEvents::OnSendBegin> OnSendBegin;  // POST: after the request header went out
    TEvent<&THttpCliEvents::OnSendData> OnSendData;    // POST: per body chunk, before it is sent
    TEvent<&THttpCliEvents::OnSendEnd> OnSendEnd;      // POST: body stream exhausted
    // Before the first received line of each response.
    TEvent<&THttpCliEvents::OnHeaderBegin> OnHeaderBegin;
    // Per non-empty header line, after parsing (in LastLine).
    TEvent<&THttpCliEvents::OnHeaderData> OnHeaderData;
    TEvent<&THttpCliEvents::OnHeaderEnd> OnHeaderEnd;  // empty line, or a header-less document
    TEvent<&THttpCliEvents::OnDocBegin> OnDocBegin;    // before the first document chunk
    TEvent<&THttpCliEvents::OnDocData> OnDocData;  // per chunk; Buffer[Len] is always a zero byte
    TEvent<&THttpCliEvents::OnDocEnd> OnDocEnd;    // at the close, when at least one chunk came
    // Relocated response closed, before the new request.
    TEvent<&THttpCliEvents::OnLocationChange> OnLocationChange;
    // Once per request, always from the loop.
    TEvent<&THttpCliEvents::OnRequestDone> OnRequestDone;
    TEvent<&THttpCliEvents::OnTrace> OnTrace;  // kept for callers; never fired
  };

  // ---- Operations ----
  // Start a GET / POST. Return before any network activity has finished; with a dotted address
  // the lookup-done and connect steps run inside. Raise EHttpException 1 when not hsReady, 2 for
  // a Post without PostStream; let ESocketException through when the lookup cannot start
  // (State() then stays hsDnsLookup until Abort). OnRequestDone never fires inside them.
  void Get();
  void Post();
  // Ends the current request at once: 404 "Connection aborted on request", Error 3, reported by
  // OnRequestDone later. On an idle client it only closes an open socket. Never throws.
  void Abort();

 protected:
  // Overridable steps; each Fire… fires the event of its name at the handler.
  virtual void AddRequestLine(const std::string& Line);  // OnCommand, then Line + CR LF
  virtual void StartConnect();     // State hsDnsLookup and the lookup of ConnectHost
  virtual void CloseConnection();  // closes the socket, Connected = false
  virtual void FireSessionConnected();
  virtual void FireRequestHeaderBegin();
  virtual void FireRequestHeaderEnd();
  virtual void FireHeaderBegin();
  virtual void FireHeaderEnd();
  virtual void FireDocBegin();
  virtual void FireDocData(const char* Buffer, int Len);
  virtual void FireDocEnd();
  virtual void FireSendBegin();
  virtual void FireSendData(const char* Buffer, int Len);
  virtual void FireSendEnd();

  // The receive path without a socket, for tests and fuzzers.
  // Puts the client in the state right after a request of kind rq has been sent.
  void ExpectResponse(THttpRequest rq);
  // One read: read(buffer, room) places at most room bytes and returns their number (0 or less:
  // nothing arrived). Throws EHttpException 4 when the buffer is full of an unfinished line.
  void ReadResponse(const std::function<int(char*, int)>& read);
  // The connection's close as the socket reports it (Error non-zero for a reset).
  void ResponseClosed(uint16_t Error = 0);

  bool Connected = false;
  bool RelocationPending = false;

 private:
  void DoRequest(THttpRequest rq);
  // Everything an earlier request left behind (a pending relocation, an unfinished line, a
  // pending reconnect, its results) goes: the one reset of a new request.
  void ResetRequest(THttpRequest rq);
  void SetState(THttpClientState value);
  void PostSetReady();
  // Socket events: the client is its socket's handler.
  bool SocketDataAvailable(TWSocket* Sender, uint16_t Error) override;
  void SocketDataSent(TWSocket* Sender, uint16_t Error) override;
  bool SocketSessionClosed(TWSocket* Sender, uint16_t Error) override;
  void SocketSessionConnected(TWSocket* Sender, uint16_t Error) override;
  void SocketDnsLookupDone(TWSocket* Sender, uint16_t Error) override;
  void DnsLookupDone(uint16_t Error);
  void SessionConnected(uint16_t Error);
  void DataAvailable();
  // One read, split so that the socket's read needs no callable: where the bytes go (throws
  // EHttpException 4 when the buffer is full of an unfinished line), then what arrived there.
  char* ReadRoom(int& room);
  void Received(int count, int room);
  // Hands what the parser finds in the received bytes to its handler.
  void HandlePieces();
  void HandlePiece(TResponseParser::TPiece piece);
  void NoteArrival();  // takes the stamps of a read that brought response bytes
  void DataSent();
  // Error is the socket's: non-zero for a reset.
  void ConnectionClosed(uint16_t Error);
  // Request side.
  void SendRequestHeader(std::string_view method, std::string_view version);
  void SendPostChunk();
  void Fail(uint16_t error, const std::string& reason);
  // The connection is up (and secured, for TLS): the request goes out.
  void Exchange();
  // Hands request bytes to the connection: through TLS when it speaks it.
  void Transmit(const char* data, int len);
  // TLS: the handshake's start on a new connection, its steps and the reading of records.
  void StartTls();
  void TlsHandshakeStep();
  void TlsDataAvailable();
  void TlsFailed(const char* during);
  // The connection closed (Error non-zero for a reset) before the handshake was done.
  void TlsClosed(uint16_t Error);
  // An https target through a proxy: the CONNECT, the proxy's answer, and the tunnel's failures.
  bool Tunnelled() const { return secure_ && !Proxy.empty(); }
  std::string TunnelAuthority() const;  // "host:port" of the origin the tunnel goes to
  std::string TunnelTarget() const;     // the request target inside it: path and query
  void StartTunnel();
  void TunnelDataAvailable();
  void TunnelClosed(uint16_t Error);
  void TunnelFailed(const std::string& reason);
  // Response side.
  void KeepHeaderLine();  // LastLine into ResponseHeaders, within the bound
  void HeaderField();     // a field of LastLine that the client reads
  void HeaderEnd();
  void BodyData(const char* data, int len);  // data[len] is a zero byte
  void BufferedBody();                       // the receive buffer's bytes as one chunk
  void Relocate(const std::string& value);
  // Whether the request now goes to the host and port of URL, for which credentials and cookies
  // were given; a relocation elsewhere must not carry them.
  bool AtOrigin() const;
  // Whether n more bytes of header lines, kept at a cost of overhead bytes, may be kept; counts
  // them when so. The first refusal adds HeaderCutNote to ResponseHeaders.
  bool KeepHeaderBytes(size_t n, size_t overhead);
  // The method of the request that follows a relocation: after 303, and after 301 and 302 to a
  // POST, a GET without body.
  void RelocatedMethod();
  // The "Host: " value of the request about to be sent: the host with its port unless that is
  // the scheme's default.
  std::string HostField() const;
  void SessionClosed();
  void RelocationSessionClosed();
  void Reconnect();

  TNoticeTarget notices_;
  TWSocket socket_;
  THttpClientState state_ = hsReady;
  uint16_t requesterror_ = 0;
  bool multithreaded_ = false;
  bool relocationclose_ = false;         // the socket's close runs the relocation handler
  bool selfclosed_ = false;              // the client closed the connection itself
  int relocations_ = 0;                  // relocations followed by the current request
  std::string refusedscheme_;            // the scheme of a relocation that is not followed
  std::string originhost_, originport_;  // URL's host (as hostkey compares it) and port
  bool sendingpost_ = false;
  bool reconnectpending_ = false;
  int64_t poststart_ = 0;       // PostStream position when the POST started, for a relocated POST
  uint32_t serial_ = 0;         // requests started: notices of an earlier request are ignored
  uint32_t closes_ = 0;         // normal session-closed runs
  THttpTarget relocationbase_;  // where the request went before this response's location
  bool relocationbasesecure_ = false;  // ... and whether it went over https
  int64_t docchunks_ = 0;              // of this request's response (since its last relocation)
  TWireTimes wiretimes_;
  int64_t connectbegan_ = 0;              // when the current connect call began
  bool secure_ = false;                   // the current target is https
  bool originsecure_ = false;             // URL is https
  std::unique_ptr<TTlsLayer> tls_;        // the current connection's TLS; dropped when it is done
  std::unique_ptr<TProxyTunnel> tunnel_;  // while the proxy's answer to CONNECT is awaited
  TResponseParser parser_;                // the receive buffer and the framing of the response
  std::unique_ptr<char[]> SendBuffer;  // taken by the first POST chunk, given back at the end
  std::string RequestBuffer;
};
