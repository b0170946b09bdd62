// TWSocket: construction, properties, events, error reports and closing. Connecting and the data
// path are in WSocketData.cpp, notification dispatch and lookups in WSocketEvents.cpp, the
// server side in WSocketServer.cpp.

#include "net/WSocket.h"

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "common/Text.h"
#include "net/PortWindow.h"
#include "net/SocketResolve.h"
#include "net/WSocketPrivate.h"

namespace {

bool blankchar(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A view into v: setting a property to the value it already has copies nothing. A value seldom
// starts or ends with a blank, and a look at its two ends settles that.
std::string_view trimmed(std::string_view v) {
  if (v.empty() || (!blankchar(v.front()) && !blankchar(v.back()))) return v;
  return trim(v, " \t\r\n");
}

// A view of another string needs none of the care for overlap that assigning a view takes; one
// into s itself (a property set to a trimmed part of its own value) still gets it.
void assignview(std::string& s, std::string_view v) {
  const auto at = reinterpret_cast<uintptr_t>(v.data());
  const auto begin = reinterpret_cast<uintptr_t>(s.data());
  if (at >= begin && at <= begin + s.size()) {
    s.assign(v);
  } else {
    s.clear();
    s.append(v);
  }
}

// Resetting mostly finds the default already there; comparing costs less than assigning.
void setdefault(std::string& s, std::string_view value) {
  if (s != value) s.assign(value);
}

}  // namespace

int wsalasterror() {
  return wsaerrorfromerrno(errno);
}

// ---- Construction -----------------------------------------------------------------------------

TWSocket::TWSocket(TEventLoop& loop)
    : OnDataAvailable{this},
      loop_(loop),
      notices_(loop),
      dns_(loop),
      sendbuffers_(TBuffer::DefaultSize) {
  // The members start at the values ResetDefaults restores.
  sin_.v4.sin_family = AF_INET;
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
  sin_ = TSocketAddress{};
  sin_.v4.sin_family = AF_INET;
  // The default protocol and local port need no resolving.
  setdefault(proto_, "tcp");
  protoresolved_ = true;
  protonum_ = IPPROTO_TCP;
  socktype_ = SOCK_STREAM;
  addr_.clear();
  addrresolved_ = false;
  port_.clear();
  portresolved_ = false;
  setdefault(localport_, "0");
  localportresolved_ = true;
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
  finqueued_ = endahead_ = readshut_ = false;
  readcount_ = 0;
  closedeventfired_ = false;
  flushtimeout_ = 60;
}

// ---- Properties -------------------------------------------------------------------------------

void TWSocket::SetAddr(const std::string& value) {
  std::string_view v = trimmed(value);
  if (v == addr_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change Addr if not closed");
    return;
  }
  assignview(addr_, v);
  addrresolved_ = false;
}

void TWSocket::SetPort(const std::string& value) {
  std::string_view v = trimmed(value);
  if (v == port_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change Port if not closed");
    return;
  }
  assignview(port_, v);
  portresolved_ = false;
}

void TWSocket::SetProto(const std::string& value) {
  std::string_view v = trimmed(value);
  if (v == proto_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change Proto if not closed");
    return;
  }
  assignview(proto_, v);
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
  localport_ = trimmed(value);
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
  if (handler_ == nullptr || destroying_) return false;
  return handler_->SocketDataAvailable(this, Error);
}

void TWSocket::FireSessionAvailable(uint16_t Error) {
  if (handler_ != nullptr && !destroying_) handler_->SocketSessionAvailable(this, Error);
}

void TWSocket::FireSessionConnected(uint16_t Error) {
  if (handler_ != nullptr && !destroying_) handler_->SocketSessionConnected(this, Error);
}

bool TWSocket::FireSessionClosed(uint16_t Error) {
  if (handler_ == nullptr || destroying_) return false;
  return handler_->SocketSessionClosed(this, Error);
}

void TWSocket::FireDataSent(uint16_t Error) {
  if (handler_ != nullptr && !destroying_) handler_->SocketDataSent(this, Error);
}

void TWSocket::FireChangeState(TSocketState OldState, TSocketState NewState) {
  if (handler_ != nullptr && !destroying_) handler_->SocketChangeState(this, OldState, NewState);
}

void TWSocket::FireDnsLookupDone(uint16_t Error) {
  if (handler_ != nullptr && !destroying_) handler_->SocketDnsLookupDone(this, Error);
}

bool TWSocket::FireError() {
  return handler_ != nullptr && handler_->SocketError(this);
}

void TWSocket::FireBgException(const std::exception& E, bool& CanClose) {
  if (handler_ != nullptr && !destroying_) handler_->SocketBgException(this, E, CanClose);
}

void TWSocket::ChangeState(TSocketState NewState) {
  TSocketState old = state_;
  state_ = NewState;
  FireChangeState(old, NewState);
}

// ---- Errors -----------------------------------------------------------------------------------

void TWSocket::ReportError(const std::string& Msg) {
  if (FireError()) return;
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

// ---- Closing ----------------------------------------------------------------------------------

void TWSocket::closehandle() {
  if (watch_) {
    // The loop's epoll set must drop the descriptor before it is closed: the watch does both.
    watch_->CloseWithFd();
    watch_.reset();
  } else if (hsocket_ != INVALID_SOCKET) {
    ::close(hsocket_);
  }
  hsocket_ = INVALID_SOCKET;
  peerclosed_ = false;
  finqueued_ = endahead_ = readshut_ = false;
  if (countedconnection_) {
    countedconnection_ = false;
    noteconnection(-1);
  }
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
  // A close that resets the connection discards what a shutdown would send first; the shutdown
  // would also let the peer's end finish the close and wait out TIME_WAIT on the peer's side.
  if (Shut && !(resetonclose_ && socktype_ == SOCK_STREAM)) ::shutdown(hsocket_, SHUT_WR);
  closehandle();
  uint32_t generation = generation_;
  ChangeState(wsClosed);
  if (!g.alive) return;
  if (!destroying_ && !closedeventfired_) {
    closedeventfired_ = true;
    // A close nobody took may still be reported to a handler set before the next close.
    if (!FireSessionClosed(Error)) {
      closedeventfired_ = false;
    } else if (!g.alive) {
      return;
    }
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
  if (hsocket_ == INVALID_SOCKET) return;
  if (How != 1) {
    readshut_ = true;
    finqueued_ = endahead_ = false;
  }
  ::shutdown(hsocket_, How);
}

// ---- Addresses --------------------------------------------------------------------------------

std::string TWSocket::PeerAddress() {
  if (state_ != wsConnected) return "error";
  TSocketAddress peer{};
  socklen_t len = sizeof peer;
  if (getpeername(hsocket_, &peer.sa, &len) != 0) {
    RaiseSocketError("GetPeerName", wsalasterror());
    return "error";
  }
  return peer.sa.sa_family == AF_INET6 ? ipv6text(peer.v6.sin6_addr) : dottedtext(peer.v4.sin_addr);
}

std::string TWSocket::LocalPortText() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  TSocketAddress local{};
  socklen_t len = sizeof local;
  if (getsockname(hsocket_, &local.sa, &len) != 0) return "error";
  return std::to_string(ntohs(addressport(local)));
}
