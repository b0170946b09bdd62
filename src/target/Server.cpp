#include "target/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace {

// Tags for the two descriptors that are not connections; connections carry serial << 32 | fd.
constexpr uint64_t kListenTag = ~uint64_t(0);
constexpr uint64_t kSignalTag = ~uint64_t(0) - 1;
constexpr int kAcceptsPerEvent = 256;
constexpr int64_t kAcceptPauseMs = 50;

std::runtime_error syserror(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

int64_t nowms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

TServer::TServer(bool log) : log_(log) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) throw syserror("epoll_create1");
}

TServer::~TServer() {
  slots_.clear();
  SSL_CTX_free(tls_);
  if (listen_ >= 0) close(listen_);
  if (signals_ >= 0) close(signals_);
  if (epoll_ >= 0) close(epoll_);
}

void TServer::settls(SSL_CTX* tls) {
  SSL_CTX_free(tls_);
  tls_ = tls;
}

uint16_t TServer::listen(const std::string& addr, uint16_t port) {
  sockaddr_storage ss{};
  socklen_t len = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
  if (inet_pton(AF_INET, addr.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    len = sizeof *v4;
  } else if (inet_pton(AF_INET6, addr.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    len = sizeof *v6;
  } else {
    throw std::runtime_error("not a numeric address: " + addr);
  }
  listen_ = socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_ < 0) throw syserror("socket");
  int one = 1;
  setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(listen_, reinterpret_cast<sockaddr*>(&ss), len) != 0)
    throw syserror("cannot bind " + addr + ":" + std::to_string(port));
  if (::listen(listen_, kBacklog) != 0) throw syserror("listen");
  if (getsockname(listen_, reinterpret_cast<sockaddr*>(&ss), &len) != 0)
    throw syserror("getsockname");
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kListenTag;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, listen_, &ev) != 0) throw syserror("epoll_ctl");
  return ntohs(ss.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
}

void TServer::run() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  signals_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signals_ < 0) throw syserror("signalfd");
  epoll_event sev{};
  sev.events = EPOLLIN;
  sev.data.u64 = kSignalTag;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, signals_, &sev) != 0) throw syserror("epoll_ctl");

  std::vector<epoll_event> events(1024);
  while (true) {
    int n = epoll_wait(epoll_, events.data(), int(events.size()), timeout(nowms()));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw syserror("epoll_wait");
    }
    int64_t now = nowms();
    for (int i = 0; i < n; ++i) {
      if (events[size_t(i)].data.u64 == kSignalTag) {
        if (log_) std::fprintf(stderr, "stopping\n");
        return;
      }
      dispatch(events[size_t(i)].data.u64, events[size_t(i)].events, now);
    }
    runtimers(nowms());
  }
}

void TServer::dispatch(uint64_t tag, uint32_t events, int64_t now) {
  if (tag == kListenTag) return acceptall(now);
  int fd = int(tag & 0xffffffffu);
  uint32_t serial = uint32_t(tag >> 32);
  // An event may name a connection closed earlier in the same batch, whose number was reused.
  if (size_t(fd) >= slots_.size() || !slots_[size_t(fd)].Conn ||
      slots_[size_t(fd)].Serial != serial)
    return;
  TConnection& c = *slots_[size_t(fd)].Conn;
  if (events & EPOLLIN) c.onreadable(now);
  if ((events & EPOLLOUT) && !c.closed()) c.onwritable(now);
  // Readable data was taken first; after a hang-up or an error nothing can be sent any more.
  if ((events & (EPOLLERR | EPOLLHUP)) && !c.closed()) c.onerror();
  settle(fd);
}

void TServer::settle(int fd) {
  TSlot& s = slots_[size_t(fd)];
  if (s.Conn->closed()) {
    // close() already took the descriptor out of the epoll set.
    s.Conn.reset();
    s.Mask = 0;
    s.Armed = 0;
    --open_;
    if (resumeaccept_ != 0) resumeaccept_ = 1;  // a descriptor is free again: accept at once
    return;
  }
  uint32_t want = s.Conn->events();
  if (want != s.Mask) {
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = uint64_t(s.Serial) << 32 | uint32_t(fd);
    epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &ev);
    s.Mask = want;
  }
  int64_t due = s.Conn->deadline();
  if (due != 0 && due != s.Armed) {
    timers_.push({due, fd, s.Serial});
    s.Armed = due;
  }
}

void TServer::acceptall(int64_t now) {
  for (int i = 0; i < kAcceptsPerEvent; ++i) {
    int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        pauseaccept(now);
      return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (size_t(fd) >= slots_.size()) slots_.resize(size_t(fd) + 1024);
    TSlot& s = slots_[size_t(fd)];
    s.Conn = std::make_unique<TConnection>(fd, log_, tls_);
    if (s.Conn->closed()) {
      s.Conn.reset();
      continue;
    }
    s.Serial = ++serial_;
    s.Mask = EPOLLIN;
    s.Armed = 0;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = uint64_t(s.Serial) << 32 | uint32_t(fd);
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
      s.Conn.reset();
      continue;
    }
    ++open_;
  }
}

// Out of descriptors: stop watching the listener for a moment instead of spinning on it; the
// waiting clients stay queued in the backlog until a connection ends.
void TServer::pauseaccept(int64_t now) {
  if (log_) std::fprintf(stderr, "accept paused: %s (%zu open)\n", std::strerror(errno), open_);
  epoll_event ev{};
  ev.events = 0;
  ev.data.u64 = kListenTag;
  epoll_ctl(epoll_, EPOLL_CTL_MOD, listen_, &ev);
  resumeaccept_ = now + kAcceptPauseMs;
}

int TServer::timeout(int64_t now) const {
  int64_t next = -1;
  if (!timers_.empty()) next = timers_.top().At;
  if (resumeaccept_ != 0 && (next < 0 || resumeaccept_ < next)) next = resumeaccept_;
  if (next < 0) return -1;
  return next <= now ? 0 : int(std::min<int64_t>(next - now, 60000));
}

void TServer::runtimers(int64_t now) {
  if (resumeaccept_ != 0 && resumeaccept_ <= now) {
    resumeaccept_ = 0;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kListenTag;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, listen_, &ev);
  }
  while (!timers_.empty() && timers_.top().At <= now) {
    TDue due = timers_.top();
    timers_.pop();
    TSlot& s = slots_[size_t(due.Fd)];
    if (!s.Conn || s.Serial != due.Serial || s.Armed != due.At) continue;  // stale entry
    s.Armed = 0;
    if (s.Conn->deadline() == due.At) s.Conn->ontimer(now);
    settle(due.Fd);
  }
}
