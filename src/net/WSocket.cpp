// TWSocket: construction, properties, connecting, sending, receiving, closing and error reports.
// Notification dispatch and lookups are in WSocketEvents.cpp, the server side in WSocketServer.cpp.

#include "net/WSocket.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/SocketResolve.h"
#include "net/WSocketPrivate.h"

namespace {

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

int wsalasterror() {
  return wsaerrorfromerrno(errno);
}

// ---- Construction -----------------------------------------------------------------------------

TWSocket::TWSocket(TEventLoop& loop)
    : loop_(loop), notices_(loop), dns_(loop), sendbuffers_(TBuffer::DefaultSize) {
  ResetDefaults();
}

TWSocket::~TWSocket() {
  destroying_ = true;
  try {
    CancelLookup();
  } catch (...) {
  }
  if (hsocket_ != INVALID_SOCKET || state_ != wsClosed) {
    try {
      CloseSocketHandle(true, 0);
    } catch (...) {
    }
  }
  closehandle();
  if (alive_ != nullptr) *alive_ = false;
}

void TWSocket::ResetDefaults() {
  sin_ = sockaddr_in{};
  sin_.sin_family = AF_INET;
  proto_ = "tcp";
  protoresolved_ = false;
  protonum_ = IPPROTO_TCP;
  socktype_ = SOCK_STREAM;
  addr_.clear();
  addrresolved_ = false;
  port_.clear();
  portresolved_ = false;
  localport_ = "0";
  localportresolved_ = false;
  localportnum_ = 0;
  lingeronoff_ = wsLingerOn;
  lingertimeout_ = 0;
  // A handle still open here would leak: close it quietly.
  if (hsocket_ != INVALID_SOCKET) closehandle();
  state_ = wsClosed;
  sendqueueempty_ = true;
  sendbuffers_.Clear();
  paused_ = false;
  peerclosed_ = false;
  readcount_ = 0;
  closedeventfired_ = false;
  flushtimeout_ = 60;
}

// ---- Properties -------------------------------------------------------------------------------

void TWSocket::SetAddr(const std::string& value) {
  std::string v = trim(value);
  if (v == addr_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change Addr if not closed");
    return;
  }
  addr_ = v;
  addrresolved_ = false;
}

void TWSocket::SetPort(const std::string& value) {
  std::string v = trim(value);
  if (v == port_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change Port if not closed");
    return;
  }
  port_ = v;
  portresolved_ = false;
}

void TWSocket::SetProto(const std::string& value) {
  std::string v = trim(value);
  if (v == proto_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change Proto if not closed");
    return;
  }
  proto_ = v;
  protoresolved_ = false;
  // The port's service name depends on the protocol.
  portresolved_ = false;
  localportresolved_ = false;
}

void TWSocket::SetLocalPort(const std::string& value) {
  if (state_ != wsClosed) {
    ReportError("Cannot change LocalPort if not closed");
    return;
  }
  localport_ = trim(value);
  localportresolved_ = false;
}

void TWSocket::SetSendFlags(int value) {
  if (value != wsSendNormal && value != wsSendUrgent) {
    ReportError("Invalid SendFlags");
    return;
  }
  sendflags_ = static_cast<TSocketSendFlags>(value);
}

int TWSocket::RcvdCount() {
  if (hsocket_ == INVALID_SOCKET) return -1;
  int count = 0;
  if (ioctl(hsocket_, FIONREAD, &count) != 0) return -1;
  return count;
}

// ---- Events -----------------------------------------------------------------------------------

bool TWSocket::FireDataAvailable(uint16_t Error) {
  if (!OnDataAvailable || destroying_) return false;
  OnDataAvailable(this, Error);
  return true;
}

void TWSocket::FireSessionAvailable(uint16_t Error) {
  if (OnSessionAvailable && !destroying_) OnSessionAvailable(this, Error);
}

void TWSocket::FireSessionConnected(uint16_t Error) {
  if (OnSessionConnected && !destroying_) OnSessionConnected(this, Error);
}

void TWSocket::FireSessionClosed(uint16_t Error) {
  if (OnSessionClosed && !destroying_) OnSessionClosed(this, Error);
}

void TWSocket::FireDataSent(uint16_t Error) {
  if (OnDataSent && !destroying_) OnDataSent(this, Error);
}

void TWSocket::FireChangeState(TSocketState OldState, TSocketState NewState) {
  if (OnChangeState && !destroying_) OnChangeState(this, OldState, NewState);
}

void TWSocket::FireDnsLookupDone(uint16_t Error) {
  if (OnDnsLookupDone && !destroying_) OnDnsLookupDone(this, Error);
}

void TWSocket::FireError() {
  if (OnError) OnError(this);
}

void TWSocket::FireBgException(const std::exception& E, bool& CanClose) {
  if (OnBgException && !destroying_) OnBgException(this, E, CanClose);
}

void TWSocket::ChangeState(TSocketState NewState) {
  TSocketState old = state_;
  state_ = NewState;
  FireChangeState(old, NewState);
}

// ---- Errors -----------------------------------------------------------------------------------

void TWSocket::ReportError(const std::string& Msg) {
  if (OnError) {
    FireError();
    return;
  }
  throw ESocketException(Msg);
}

void TWSocket::RaiseSocketError(const std::string& FunctionName, int ErrCode) {
  std::string text = "Error " + std::to_string(ErrCode) + " in function " + FunctionName + "\r\n" +
                     ErrorDesc(ErrCode);
  lasterror_ = ErrCode;
  if (ErrCode == 10054 || ErrCode == 10057) {
    TAliveGuard g(this);
    dropsocket();
    // A state handler that destroyed the socket still gets the failure as an exception.
    if (!g.alive) throw ESocketException(text);
  }
  ReportError(text);
}

void TWSocket::HandleHandlerException(const std::exception& E) {
  TAliveGuard g(this);
  bool canclose = true;
  try {
    FireBgException(E, canclose);
  } catch (...) {
  }
  if (!g.alive || !canclose) return;
  try {
    Abort();
  } catch (...) {
  }
}

// ---- Connecting -------------------------------------------------------------------------------

void TWSocket::resolveall() {
  if (!protoresolved_) {
    protonum_ = wsocketresolveproto(proto_);
    socktype_ = protonum_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
    protoresolved_ = true;
  }
  std::string protoname = socktype_ == SOCK_DGRAM ? "udp" : "tcp";
  if (!portresolved_) {
    sin_.sin_port = htons(wsocketresolveport(port_, protoname));
    portresolved_ = true;
  }
  if (!localportresolved_) {
    localportnum_ = wsocketresolveport(localport_, protoname);
    localportresolved_ = true;
  }
  if (!addrresolved_) {
    sin_.sin_addr = wsocketresolvehost(addr_);
    addrresolved_ = true;
  }
  sin_.sin_family = AF_INET;
}

bool TWSocket::openhandle(const char* function) {
  sendbuffers_.Clear();
  sendqueueempty_ = true;
  int fd = ::socket(AF_INET, socktype_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protonum_);
  if (fd < 0) {
    RaiseSocketError(function, wsalasterror());
    return false;
  }
  hsocket_ = fd;
  ++generation_;
  closedeventfired_ = false;
  peerclosed_ = false;
  return true;
}

bool TWSocket::failsetup(const std::string& function, int code) {
  // A half-made connection is closed before the failure is reported, so the handle never leaks
  // and the object stays usable; no OnSessionClosed fires for a connection that never began.
  dropsocket();
  RaiseSocketError(function, code);
  return false;
}

bool TWSocket::setoption(int level, int name, int value, const char* function) {
  if (setsockopt(hsocket_, level, name, &value, sizeof value) == 0) return true;
  return failsetup(function, wsalasterror());
}

bool TWSocket::applylinger() {
  if (lingeronoff_ == wsLingerNoSet) return true;
  if (hsocket_ == INVALID_SOCKET) {
    ReportError("Cannot set linger option at this time");
    return false;
  }
  linger l{};
  l.l_onoff = lingeronoff_ == wsLingerOn ? 1 : 0;
  l.l_linger = lingertimeout_;
  if (setsockopt(hsocket_, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0) return true;
  return failsetup("setsockopt(SO_LINGER)", wsalasterror());
}

bool TWSocket::BindLocal() {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(localportnum_);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(hsocket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    lasterror_ = wsalasterror();
    dropsocket();
    ReportError("winsock.bind failed, error #" + std::to_string(lasterror_));
    return false;
  }
  socklen_t len = sizeof local;
  if (getsockname(hsocket_, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
    lasterror_ = wsalasterror();
    dropsocket();
    ReportError("winsock.getsockname failed, error #" + std::to_string(lasterror_));
    return false;
  }
  localportnum_ = ntohs(local.sin_port);
  localport_ = std::to_string(localportnum_);
  localportresolved_ = true;
  return true;
}

void TWSocket::Connect() {
  if (hsocket_ != INVALID_SOCKET && state_ != wsClosed) {
    ReportError("Connect: Socket already in use");
    return;
  }
  if (port_.empty()) {
    ReportError("Connect: No Port Specified");
    return;
  }
  if (addr_.empty()) {
    ReportError("Connect: No IP Address Specified");
    return;
  }
  if (proto_.empty()) {
    ReportError("Connect: No Protocol Specified");
    return;
  }
  try {
    resolveall();
  } catch (const std::exception& e) {
    ReportError(std::string("connect: ") + e.what());
    return;
  }
  if (!openhandle("Connect (socket)")) return;
  TAliveGuard g(this);
  ChangeState(wsOpened);
  if (!g.alive || state_ != wsOpened) return;

  if (socktype_ == SOCK_STREAM) {
    if (localportnum_ != 0 && !BindLocal()) return;
    if (!applylinger()) return;
    if (!setoption(SOL_SOCKET, SO_KEEPALIVE, 1, "setsockopt(SO_KEEPALIVE)")) return;
    if (!setoption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)")) return;
  } else {
    if (!BindLocal()) return;
    if (sin_.sin_addr.s_addr == htonl(INADDR_BROADCAST) &&
        !setoption(SOL_SOCKET, SO_BROADCAST, 1, "setsockopt(SO_BROADCAST)")) {
      return;
    }
  }
  int rc = openwatch(socktype_ == SOCK_STREAM ? UV_WRITABLE : UV_READABLE);
  if (rc != 0) {
    failsetup("WSAAsyncSelect", wsaerrorfromuv(rc));
    return;
  }
  if (socktype_ == SOCK_DGRAM) {
    ChangeState(wsConnected);
    if (!g.alive) return;
    FireSessionConnected(0);
    return;
  }
  if (::connect(hsocket_, reinterpret_cast<sockaddr*>(&sin_), sizeof sin_) != 0 &&
      errno != EINPROGRESS) {
    int code = wsalasterror();
    lasterror_ = code;
    failsetup("Connect", code);
    return;
  }
  ChangeState(wsConnecting);
}

// ---- Sending ----------------------------------------------------------------------------------

int TWSocket::Send(const void* Data, int Len) {
  if (state_ != wsConnected) {
    RaiseSocketError("Send", 10057);
    return -1;
  }
  if (Len <= 0) return 0;
  sendqueueempty_ = false;
  sendbuffers_.Append(Data, Len);
  TAliveGuard g(this);
  trytosend();
  if (!g.alive || hsocket_ == INVALID_SOCKET) return Len;
  // OnDataSent must never fire inside Send: it comes from a notice the loop delivers later.
  if (sendqueueempty_) postwritenotice();
  updatewatch();
  return Len;
}

int TWSocket::SendString(const std::string& Str) {
  return Send(Str.data(), static_cast<int>(Str.size()));
}

void TWSocket::trytosend() {
  int flags = MSG_NOSIGNAL | (sendflags_ == wsSendUrgent ? MSG_OOB : 0);
  while (hsocket_ != INVALID_SOCKET) {
    TBuffer* chunk = sendbuffers_.First();
    if (chunk == nullptr) {
      sendqueueempty_ = true;
      return;
    }
    int len = 0;
    const char* data = chunk->Peek(len);
    if (len == 0) {
      if (!sendbuffers_.Single()) {
        sendbuffers_.PopFirst();
        continue;
      }
      sendqueueempty_ = true;
      return;
    }
    ssize_t sent;
    if (socktype_ == SOCK_DGRAM) {
      sent = ::sendto(hsocket_, data, static_cast<size_t>(len), flags,
                      reinterpret_cast<sockaddr*>(&sin_), sizeof sin_);
    } else {
      sent = ::send(hsocket_, data, static_cast<size_t>(len), flags);
    }
    if (sent > 0) {
      chunk->Remove(static_cast<int>(sent));
      if (sent < len) return;  // the platform is full; its next write readiness resumes
      continue;
    }
    if (sent == 0) return;
    int code = wsalasterror();
    if (code == 10035) return;
    if (code == 10022 || code == 10038 || code == 10054 || code == 10057) {
      TAliveGuard g(this);
      closedeventfired_ = true;
      Close();
      if (g.alive) FireSessionClosed(static_cast<uint16_t>(code));
      return;
    }
    RaiseSocketError("TryToSend failed", code);
    return;
  }
}

void TWSocket::Flush() {
  using clock = std::chrono::steady_clock;
  auto deadline = clock::now() + std::chrono::seconds(flushtimeout_);
  TAliveGuard g(this);
  bool wasbusy = !sendqueueempty_;
  while (hsocket_ != INVALID_SOCKET && !sendqueueempty_) {
    trytosend();
    if (!g.alive) return;
    if (hsocket_ == INVALID_SOCKET || sendqueueempty_) break;
    loop_.ProcessMessages();
    if (!g.alive) return;
    if (hsocket_ == INVALID_SOCKET) break;
    // Inside the loop ProcessMessages cannot run it again: wait for the platform directly, and
    // give up after FlushTimeout rather than hang on a peer that never reads.
    auto now = clock::now();
    if (now >= deadline) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    pollfd p{hsocket_, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(left < 100 ? left : 100));
  }
  if (hsocket_ == INVALID_SOCKET) return;
  if (wasbusy && sendqueueempty_) postwritenotice();
  updatewatch();
}

// ---- Receiving --------------------------------------------------------------------------------

int TWSocket::Receive(void* Buffer, int BufferSize) {
  if (hsocket_ == INVALID_SOCKET) {
    lasterror_ = 10038;
    return -1;
  }
  ssize_t n = ::recv(hsocket_, Buffer, static_cast<size_t>(BufferSize > 0 ? BufferSize : 0), 0);
  if (n < 0) {
    lasterror_ = wsalasterror();
    return -1;
  }
  readcount_ += n;
  if (n > 0) {
    ++consumed_;
  } else if (BufferSize > 0 && socktype_ == SOCK_STREAM) {
    peerclosed_ = true;
  }
  return static_cast<int>(n);
}

std::string TWSocket::ReceiveString() {
  int count = RcvdCount();
  if (count <= 0) return std::string();
  std::string s(static_cast<size_t>(count), '\0');
  int n = Receive(s.data(), count);
  if (n <= 0) return std::string();
  s.resize(static_cast<size_t>(n));
  return s;
}

int TWSocket::ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From) {
  if (hsocket_ == INVALID_SOCKET) {
    lasterror_ = 10038;
    return -1;
  }
  socklen_t len = sizeof From;
  ssize_t n = ::recvfrom(hsocket_, Buffer, static_cast<size_t>(BufferSize > 0 ? BufferSize : 0), 0,
                         reinterpret_cast<sockaddr*>(&From), &len);
  if (n < 0) {
    lasterror_ = wsalasterror();
    return -1;
  }
  readcount_ += n;
  ++consumed_;
  return static_cast<int>(n);
}

// ---- Closing ----------------------------------------------------------------------------------

void TWSocket::closehandle() {
  if (watch_) {
    // libuv must let go of the descriptor before it is closed: the watch closes it afterwards.
    watch_->CloseWithFd();
    watch_.reset();
  } else if (hsocket_ != INVALID_SOCKET) {
    ::close(hsocket_);
  }
  hsocket_ = INVALID_SOCKET;
  peerclosed_ = false;
}

void TWSocket::dropsocket() {
  closehandle();
  if (state_ != wsClosed) ChangeState(wsClosed);
}

void TWSocket::CloseSocketHandle(bool Shut, uint16_t Error) {
  TAliveGuard g(this);
  if (hsocket_ == INVALID_SOCKET) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      if (!g.alive) return;
      ResetDefaults();
    }
    return;
  }
  if (state_ == wsClosed) return;
  if (Shut) ::shutdown(hsocket_, SHUT_WR);
  closehandle();
  uint32_t generation = generation_;
  ChangeState(wsClosed);
  if (!g.alive) return;
  if (!destroying_ && !closedeventfired_ && OnSessionClosed) {
    closedeventfired_ = true;
    FireSessionClosed(Error);
    if (!g.alive) return;
  }
  // A handler that connected again inside OnSessionClosed keeps its new connection.
  if (generation_ != generation || hsocket_ != INVALID_SOCKET || state_ != wsClosed) return;
  try {
    ResetDefaults();
  } catch (...) {
  }
}

void TWSocket::Close() {
  CloseSocketHandle(true, 0);
}

void TWSocket::Abort() {
  CancelLookup();
  sendbuffers_.Clear();
  sendqueueempty_ = true;
  // An abort resets the connection at once, whatever linger was asked for: no unsent data go
  // out, the server learns of it, and no port waits in TIME_WAIT.
  if (hsocket_ != INVALID_SOCKET && socktype_ == SOCK_STREAM) {
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    setsockopt(hsocket_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  CloseSocketHandle(false, 0);
}

void TWSocket::Shutdown(int How) {
  if (hsocket_ != INVALID_SOCKET) ::shutdown(hsocket_, How);
}

// ---- Addresses --------------------------------------------------------------------------------

std::string TWSocket::PeerAddress() {
  if (state_ != wsConnected) return "error";
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  if (getpeername(hsocket_, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
    RaiseSocketError("GetPeerName", wsalasterror());
    return "error";
  }
  return dottedtext(peer.sin_addr);
}

std::string TWSocket::LocalPortText() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (getsockname(hsocket_, reinterpret_cast<sockaddr*>(&local), &len) != 0) return "error";
  return std::to_string(ntohs(local.sin_port));
}
