// TWSocket: the server side (listen, accept, adopting an accepted handle).

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/WSocket.h"
#include "net/WSocketPrivate.h"

void TWSocket::Listen() {
  if (port_.empty()) {
    RaiseSocketError("listen: port not assigned", 10022);
    return;
  }
  if (proto_.empty()) {
    RaiseSocketError("listen: protocol not assigned", 10022);
    return;
  }
  if (addr_.empty()) {
    RaiseSocketError("listen: address not assigned", 10022);
    return;
  }
  try {
    resolveall();
  } catch (const std::exception& e) {
    ReportError(std::string("listen: ") + e.what());
    return;
  }
  if (!openhandle("socket")) return;
  if (socktype_ == SOCK_STREAM &&
      !setoption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)")) {
    return;
  }
  if (bind(hsocket_, &sin_.sa, addresslength(sin_)) != 0) {
    failsetup("Bind", wsalasterror());
    return;
  }
  TAliveGuard g(this);
  ChangeState(wsBound);
  if (!g.alive || state_ != wsBound) return;
  // The platform's largest backlog rather than a handful: thousands of users of one run connect
  // at the same moment, and a short queue would drop their SYNs into slow retries.
  if (socktype_ == SOCK_STREAM && ::listen(hsocket_, SOMAXCONN) != 0) {
    failsetup("Listen", wsalasterror());
    return;
  }
  const int rc = openwatch(UV_READABLE);
  if (rc != 0) {
    failsetup("WSAASyncSelect", wsaerrorfromuv(rc));
    return;
  }
  ChangeState(wsListening);
  // A datagram socket is ready for data as soon as it is bound.
  if (socktype_ == SOCK_STREAM || !g.alive || state_ != wsListening) return;
  ChangeState(wsConnected);
  if (!g.alive) return;
  FireSessionConnected(0);
}

int TWSocket::Accept() {
  if (state_ != wsListening) {
    RaiseSocketError("not a listening socket", 10022);
    return INVALID_SOCKET;
  }
  int fd = ::accept4(hsocket_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    RaiseSocketError("Accept", wsalasterror());
    return INVALID_SOCKET;
  }
  return fd;
}

void TWSocket::Dup(int NewHSocket) {
  if (NewHSocket == 0 || NewHSocket == INVALID_SOCKET) {
    RaiseSocketError("Dup", 10022);
    return;
  }
  if (hsocket_ != INVALID_SOCKET) closehandle();
  hsocket_ = NewHSocket;
  ++generation_;
  closedeventfired_ = false;
  peerclosed_ = false;
  finqueued_ = endahead_ = readshut_ = false;
  sendbuffers_.Clear();
  sendqueueempty_ = true;
  int flags = fcntl(hsocket_, F_GETFL);
  if (flags >= 0) fcntl(hsocket_, F_SETFL, flags | O_NONBLOCK);
  int type = SOCK_STREAM;
  socklen_t len = sizeof type;
  getsockopt(hsocket_, SOL_SOCKET, SO_TYPE, &type, &len);
  socktype_ = type;
  protonum_ = type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP;
  // The watch comes first, so a state handler may already send on the adopted connection.
  int rc = openwatch(UV_READABLE | (socktype_ == SOCK_STREAM ? UV_DISCONNECT : 0));
  if (rc != 0) {
    failsetup("WSAAsyncSelect", wsaerrorfromuv(rc));
    return;
  }
  ChangeState(wsConnected);
}
