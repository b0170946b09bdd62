// TWSocket: connecting (resolving, creating and preparing the handle) and the data path
// (buffered sending, receiving).

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace {

int64_t monotonicns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Software receive stamps only: they come with the data from the same recvmsg, so they cost no
// call of their own, and every kernel and device has them.
constexpr int kRxStampFlags = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;

}  // namespace

#include "net/PortWindow.h"
#include "net/SocketResolve.h"
#include "net/WSocket.h"
#include "net/WSocketPrivate.h"

// ---- Connecting -------------------------------------------------------------------------------

void TWSocket::resolveall() {
  if (!protoresolved_) {
    protonum_ = wsocketresolveproto(proto_);
    socktype_ = protonum_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
    protoresolved_ = true;
  }
  const char* protoname = socktype_ == SOCK_DGRAM ? "udp" : "tcp";
  if (!portresolved_) {
    setaddressport(sin_, htons(wsocketresolveport(port_, protoname)));
    portresolved_ = true;
  }
  if (!localportresolved_) {
    localportnum_ = wsocketresolveport(localport_, protoname);
    localportresolved_ = true;
  }
  if (!addrresolved_) {
    // The address of a numeric lookup's result is known already. The address brings its family,
    // so the port resolved above is carried over.
    bool known = resultisnumeric_ && addr_ == dnsresult_;
    uint16_t port = addressport(sin_);
    sin_ = known ? numericresult_ : wsocketresolveaddress(addr_);
    setaddressport(sin_, port);
    addrresolved_ = true;
  }
}

bool TWSocket::openhandle(const char* function) {
  sendbuffers_.Clear();
  sendqueueempty_ = true;
  int fd = ::socket(sin_.sa.sa_family, socktype_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protonum_);
  if (fd < 0) {
    RaiseSocketError(function, wsalasterror());
    return false;
  }
  hsocket_ = fd;
  resetonclose_ = false;
  ++generation_;
  closedeventfired_ = false;
  peerclosed_ = false;
  finqueued_ = endahead_ = readshut_ = false;
  rxstamping_ = false;
  lastrxstamp_ = 0;
  lastsenddone_ = lastsendbegan_ = 0;
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
  if (setsockopt(hsocket_, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0) {
    resetonclose_ = l.l_onoff != 0 && l.l_linger == 0;
    return true;
  }
  return failsetup("setsockopt(SO_LINGER)", wsalasterror());
}

bool TWSocket::BindLocal() {
  // Any address of the remote address's family: a socket binds only in its own family.
  TSocketAddress local{};
  if (sin_.sa.sa_family == AF_INET6) {
    local.v6.sin6_family = AF_INET6;
    local.v6.sin6_addr = in6addr_any;
  } else {
    local.v4.sin_family = AF_INET;
    local.v4.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  setaddressport(local, htons(localportnum_));
  if (bind(hsocket_, &local.sa, addresslength(local)) != 0) {
    lasterror_ = wsalasterror();
    dropsocket();
    ReportError("winsock.bind failed, error #" + std::to_string(lasterror_));
    return false;
  }
  socklen_t len = sizeof local;
  if (getsockname(hsocket_, &local.sa, &len) != 0) {
    lasterror_ = wsalasterror();
    dropsocket();
    ReportError("winsock.getsockname failed, error #" + std::to_string(lasterror_));
    return false;
  }
  localportnum_ = ntohs(addressport(local));
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
    // A refusal is no failure of the connection: only its times are missing.
    rxstamping_ = rxtimestamps_ && setsockopt(hsocket_, SOL_SOCKET, SO_TIMESTAMPING, &kRxStampFlags,
                                              sizeof kRxStampFlags) == 0;
  } else {
    if (!BindLocal()) return;
    if (sin_.sa.sa_family == AF_INET && sin_.v4.sin_addr.s_addr == htonl(INADDR_BROADCAST) &&
        !setoption(SOL_SOCKET, SO_BROADCAST, 1, "setsockopt(SO_BROADCAST)")) {
      return;
    }
  }
  int watchrc = socktype_ == SOCK_STREAM ? openwatch(UV_WRITABLE, true) : openwatch(UV_READABLE);
  if (watchrc != 0) {
    failsetup("WSAAsyncSelect", wsaerrorfromuv(watchrc));
    return;
  }
  if (socktype_ == SOCK_DGRAM) {
    ChangeState(wsConnected);
    if (!g.alive) return;
    FireSessionConnected(0);
    return;
  }
  // An explicitly bound socket already has its port; any other gets one from a port window once
  // many connections are open.
  int rc = localportnum_ == 0 && portwindowwanted()
               ? connectfromwindow(hsocket_, &sin_.sa, addresslength(sin_))
               : ::connect(hsocket_, &sin_.sa, addresslength(sin_));
  if (rc != 0 && errno != EINPROGRESS) {
    int code = wsalasterror();
    lasterror_ = code;
    failsetup("Connect", code);
    return;
  }
  noteconnection(1);
  countedconnection_ = true;
  ChangeState(wsConnecting);
}

// ---- Sending ----------------------------------------------------------------------------------

int TWSocket::Send(const void* Data, int Len) {
  if (state_ != wsConnected) {
    RaiseSocketError("Send", 10057);
    return -1;
  }
  if (Len <= 0) return 0;
  TAliveGuard g(this);
  auto* data = static_cast<const char*>(Data);
  int left = Len;
  bool tried = false;
  if (socktype_ == SOCK_STREAM && sendbuffers_.Empty()) {
    // Nothing waits: the data go straight to the platform, and only what it does not take is
    // copied into chunks.
    tried = true;
    const int64_t began = monotonicns();
    ssize_t sent = ::send(hsocket_, data, static_cast<size_t>(left), sendflags());
    if (sent > 0) {
      data += sent;
      left -= static_cast<int>(sent);
      if (left == 0) senddone(began);
    } else if (sent < 0 && wsalasterror() != 10035) {
      int code = wsalasterror();
      sendqueueempty_ = false;
      sendbuffers_.Append(data, left);
      sendfailed(code);
      if (g.alive && hsocket_ != INVALID_SOCKET) updatewatch();
      return Len;
    }
  }
  if (left > 0) {
    sendqueueempty_ = false;
    sendbuffers_.Append(data, left);
    if (!tried) trytosend();
    if (!g.alive || hsocket_ == INVALID_SOCKET) return Len;
  } else {
    sendqueueempty_ = true;
  }
  // OnDataSent must never fire inside Send: it comes from a notice the loop delivers later.
  if (sendqueueempty_) postwritenotice();
  updatewatch();
  return Len;
}

void TWSocket::senddone(int64_t began) {
  lastsendbegan_ = began;
  lastsenddone_ = monotonicns();
}

int TWSocket::SendString(const std::string& Str) {
  return Send(Str.data(), static_cast<int>(Str.size()));
}

int TWSocket::sendflags() const {
  return MSG_NOSIGNAL | (sendflags_ == wsSendUrgent ? MSG_OOB : 0);
}

void TWSocket::sendfailed(int code) {
  if (code == 10022 || code == 10038 || code == 10054 || code == 10057) {
    TAliveGuard g(this);
    closedeventfired_ = true;
    Close();
    if (g.alive) FireSessionClosed(static_cast<uint16_t>(code));
    return;
  }
  RaiseSocketError("TryToSend failed", code);
}

void TWSocket::trytosend() {
  int flags = sendflags();
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
    const int64_t began = monotonicns();
    if (socktype_ == SOCK_DGRAM) {
      sent =
          ::sendto(hsocket_, data, static_cast<size_t>(len), flags, &sin_.sa, addresslength(sin_));
    } else {
      sent = ::send(hsocket_, data, static_cast<size_t>(len), flags);
    }
    if (sent > 0) {
      chunk->Remove(static_cast<int>(sent));
      if (sent < len) return;  // the platform is full; its next write readiness resumes
      if (sendbuffers_.Single()) senddone(began);
      continue;
    }
    if (sent == 0) return;
    int code = wsalasterror();
    if (code != 10035) sendfailed(code);
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
  if (endahead_) {
    // What the kernel would answer: the end, without a stamp. Saves a call per connection.
    lastrxstamp_ = 0;
    lastreadfull_ = false;
    if (BufferSize > 0) peerclosed_ = true;
    return 0;
  }
  // recvmsg rather than recv: the receive stamp comes in the same call, at no extra cost.
  iovec iov{Buffer, static_cast<size_t>(BufferSize > 0 ? BufferSize : 0)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(scm_timestamping))];
  msghdr m{};
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  if (rxstamping_) {
    m.msg_control = control;
    m.msg_controllen = sizeof control;
  }
  lastrxstamp_ = 0;
  ssize_t n = ::recvmsg(hsocket_, &m, 0);
  if (n < 0) {
    lasterror_ = wsalasterror();
    return -1;
  }
  if (rxstamping_ && n > 0) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPING) continue;
      scm_timestamping stamps{};
      std::memcpy(&stamps, CMSG_DATA(c), sizeof stamps);
      // ts[0] holds the software stamp; the others are for hardware stamps.
      lastrxstamp_ = int64_t(stamps.ts[0].tv_sec) * 1000000000 + stamps.ts[0].tv_nsec;
    }
  }
  readcount_ += n;
  lastreadfull_ = n > 0 && n == BufferSize;
  if (n > 0) {
    ++consumed_;
    if (finqueued_ && !lastreadfull_) endahead_ = true;
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
  lastreadfull_ = n > 0 && n == BufferSize;
  ++consumed_;
  return static_cast<int>(n);
}
