// TWSocket: readiness dispatch, the deferred data-sent notice, name and address lookups.

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>

#include "net/SocketResolve.h"
#include "net/WSocket.h"
#include "net/WSocketPrivate.h"

namespace {

// Every client of a test looks up the same numeric host: the text last found plain dotted, and its
// address, are kept per thread. Plain data, so the thread's copy needs no guard on each use.
struct TLastDotted {
  char text[16] = {};  // the longest plain dotted text, "255.255.255.255", fits
  size_t size = 0;
  in_addr address{};
};

bool lookupdotted(const std::string& name, in_addr& address) {
  thread_local TLastDotted last;
  if (name.size() == last.size && last.size != 0 &&
      std::memcmp(name.data(), last.text, last.size) == 0) {
    address = last.address;
    return true;
  }
  if (!plaindotted(name, address)) return false;
  if (name.size() <= sizeof last.text) {
    std::memcpy(last.text, name.data(), name.size());
    last.size = name.size();
    last.address = address;
  }
  return true;
}

}  // namespace

// ---- Readiness --------------------------------------------------------------------------------

int TWSocket::openwatch(int events, bool edge) {
  watch_.emplace(loop_, hsocket_, static_cast<TFdWatchHandler*>(this));
  if (edge) return watch_->StartEdge(paused_ ? 0 : events);
  if (paused_) return 0;
  return watch_->Start(events);
}

void TWSocket::rearm() {
  if (watch_ && watch_->Edge()) watch_->Rearm();
}

void TWSocket::updatewatch() {
  if (!watch_ || hsocket_ == INVALID_SOCKET) return;
  int want = 0;
  if (!paused_) {
    switch (state_) {
      case wsConnecting:
        want = UV_WRITABLE;  // writable = the connect has finished, one way or the other
        break;
      case wsListening:
        want = UV_READABLE;
        break;
      case wsConnected:
        // Writable only while unsent data wait: a level-triggered writable watch would spin.
        want = UV_READABLE;
        if (socktype_ == SOCK_STREAM) want |= UV_DISCONNECT;
        if (!sendqueueempty_) want |= UV_WRITABLE;
        break;
      default:
        break;
    }
  }
  if (watch_->Edge()) {
    watch_->Want(want);
  } else if (want != watch_->Events()) {
    watch_->Start(want);
  }
}

int TWSocket::sockerror() {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(hsocket_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return wsalasterror();
  return wsaerrorfromerrno(err);
}

// A template rather than std::function: readiness is the hottest path, and must not allocate.
template <typename F>
void TWSocket::guardedcall(F&& fn) {
  TAliveGuard g(this);
  try {
    fn();
  } catch (const std::exception& e) {
    if (!g.alive) throw;
    HandleHandlerException(e);
  } catch (...) {
    if (!g.alive) throw;
    HandleHandlerException(std::runtime_error("unknown exception"));
  }
}

void TWSocket::FdReady(int status, int events) {
  guardedcall([&] { dispatch(status, events); });
}

void TWSocket::dispatch(int status, int events) {
  if (paused_ || hsocket_ == INVALID_SOCKET) return;
  TAliveGuard g(this);
  uint32_t generation = generation_;
  // Everything after a handler applies only while the same connection is still open.
  auto same = [&] {
    return g.alive && generation_ == generation && hsocket_ != INVALID_SOCKET && !paused_;
  };

  if ((events & TFdWatch::PeerFin) != 0 && socktype_ == SOCK_STREAM && !readshut_) {
    finqueued_ = true;
  }
  if (status < 0) {
    // An error or reset arrives with libuv's watch already stopped: SO_ERROR says what happened,
    // and must be read before anything else.
    int err = sockerror();
    if (err == 0) err = wsaerrorfromuv(status);
    if (watch_) watch_->Stop();
    if (state_ == wsConnecting) {
      connectdone(err);
    } else if (state_ == wsConnected && socktype_ == SOCK_STREAM) {
      readloop(0);
      if (same()) closedone(static_cast<uint16_t>(err));
    } else {
      if (state_ == wsListening) FireSessionAvailable(static_cast<uint16_t>(err));
      if (same()) updatewatch();
    }
    return;
  }

  if (state_ == wsConnecting) {
    // Only the connect's outcome belongs to this readiness; the writable state it brings is no
    // data-sent event. An edge watch reports a failure as an error or a hang-up, so a plain
    // writable edge is a connect that succeeded.
    bool plain = watch_ && watch_->Edge() && (events & TFdWatch::Hangup) == 0;
    connectdone(plain ? 0 : sockerror());
    if (same() && state_ == wsConnected && (events & (UV_READABLE | UV_DISCONNECT)) != 0) {
      readloop(0);
      if (same() && state_ == wsConnected && ((events & UV_DISCONNECT) != 0 || peerclosed_)) {
        closedone(0);
      }
    }
    if (same()) updatewatch();
    return;
  }

  if ((events & UV_READABLE) != 0) {
    if (state_ == wsListening) {
      FireSessionAvailable(0);
    } else if (state_ == wsConnected) {
      readloop(0);
    }
    if (!same()) return;
  }
  if ((events & UV_WRITABLE) != 0 && state_ == wsConnected) {
    writedone();
    if (!same()) return;
  }
  if (state_ == wsConnected && socktype_ == SOCK_STREAM &&
      ((events & UV_DISCONNECT) != 0 || peerclosed_)) {
    closedone(0);
    if (!same()) return;
  }
  updatewatch();
}

void TWSocket::connectdone(int error) {
  TAliveGuard g(this);
  ChangeState(wsConnected);
  if (!g.alive) return;
  FireSessionConnected(static_cast<uint16_t>(error));
  if (!g.alive) return;
  if (error != 0 && state_ != wsClosed) Close();
}

void TWSocket::readloop(uint16_t Error) {
  TAliveGuard g(this);
  uint32_t generation = generation_;
  for (;;) {
    lasterror_ = 0;
    uint64_t before = consumed_;
    lastreadfull_ = false;
    bool taken = false;
    try {
      taken = FireDataAvailable(Error);
    } catch (...) {
      rearm();  // the data left behind are offered again at the next pass of the loop
      return;   // a data handler's exception ends the loop and goes no further
    }
    if (!g.alive || generation_ != generation || hsocket_ == INVALID_SOCKET || paused_) return;
    if (!taken) {
      char trash[1024];
      ssize_t n = ::recv(hsocket_, trash, sizeof trash, 0);
      if (n < 0) {
        lasterror_ = wsalasterror();
        if (lasterror_ == 10035) {
          lasterror_ = 0;
          return;
        }
      } else if (n == 0) {
        if (socktype_ == SOCK_STREAM) peerclosed_ = true;
      } else {
        ++consumed_;
        lastreadfull_ = n == sizeof trash;
      }
    }
    if (lasterror_ != 0) {
      if (lasterror_ != 10035) rearm();
      return;
    }
    // A handler that read nothing would be asked again and again: leave the data to the next
    // readiness instead.
    if (consumed_ == before) {
      if (!peerclosed_) rearm();
      return;
    }
    // A stream read that did not fill its buffer took everything there was. After a full one
    // the next read finds out whether more waits: asking first (FIONREAD) would cost a call
    // per full read, and the read that finds nothing costs no more than that question.
    if (socktype_ == SOCK_STREAM) {
      if (!lastreadfull_) return;
      continue;
    }
    int count = 0;
    if (ioctl(hsocket_, FIONREAD, &count) != 0) {
      lasterror_ = wsalasterror();
      rearm();
      return;
    }
    if (count == 0) return;
  }
}

void TWSocket::closedone(uint16_t Error) {
  TAliveGuard g(this);
  uint32_t generation = generation_;
  if (state_ == wsConnecting) return;
  // Whatever the peer sent before closing is delivered first.
  readloop(0);
  if (!g.alive || generation_ != generation || hsocket_ == INVALID_SOCKET) return;
  if (!closedeventfired_) {
    closedeventfired_ = true;
    if (!FireSessionClosed(Error)) {
      closedeventfired_ = false;
    } else if (!g.alive || generation_ != generation) {
      return;
    }
  }
  if (state_ != wsClosed) Close();
}

void TWSocket::writedone() {
  TAliveGuard g(this);
  uint32_t generation = generation_;
  trytosend();
  if (!g.alive || generation_ != generation || hsocket_ == INVALID_SOCKET) return;
  if (sendqueueempty_) FireDataSent(0);
}

void TWSocket::postwritenotice() {
  // A plain notice: one is posted for every request sent, and a std::function's making and
  // destroying would cost more than the notice's own work.
  notices_.Post(
      [](void* owner, uint32_t generation) {
        auto* self = static_cast<TWSocket*>(owner);
        // A notice for an earlier connection, or one that arrives while paused, is ignored.
        if (generation != self->generation_ || self->hsocket_ == INVALID_SOCKET || self->paused_) {
          return;
        }
        self->guardedcall([self] {
          TAliveGuard g(self);
          uint32_t gen = self->generation_;
          if (self->state_ != wsConnected) return;
          self->writedone();
          if (g.alive && gen == self->generation_ && self->hsocket_ != INVALID_SOCKET) {
            self->updatewatch();
          }
        });
      },
      this, generation_);
}

void TWSocket::Pause() {
  paused_ = true;
  if (watch_ && watch_->Edge()) {
    watch_->Want(0);
  } else if (watch_) {
    watch_->Stop();
  }
}

void TWSocket::Resume() {
  paused_ = false;
  updatewatch();
  // Readiness that came while paused was dropped: ask for it again.
  rearm();
}

// ---- Lookups ----------------------------------------------------------------------------------

struct TWSocket::TReverseLookup {
  uv_getnameinfo_t req;
  TWSocket* owner;
};

void TWSocket::DnsLookup(const std::string& HostName) {
  if (HostName.empty()) {
    ReportError("DNS lookup: invalid host name.");
    FireDnsLookupDone(10022);
    return;
  }
  if (&HostName == &dnsresult_) {
    // The socket's own result, which the lookup is about to clear: look up a copy.
    std::string name = HostName;
    TWSocket::DnsLookup(name);
    return;
  }
  cancellookups();
  dnsresultlist_.clear();
  TSocketAddress address{};
  address.v4.sin_family = AF_INET;
  // A numeric address needs no lookup; in its usual form the text is already the result. An IPv6
  // literal's result is its short text without brackets.
  bool numeric = true;
  if (lookupdotted(HostName, address.v4.sin_addr)) {
    dnsresult_ = HostName;
  } else if (dottedaddress(HostName, address.v4.sin_addr)) {
    dnsresult_ = dottedtext(address.v4.sin_addr);
  } else if (ipv6literal(HostName, address.v6.sin6_addr)) {
    address.v6.sin6_family = AF_INET6;
    dnsresult_ = ipv6text(address.v6.sin6_addr);
  } else {
    numeric = false;
  }
  if (numeric) {
    listisresult_ = true;
    numericresult_ = address;
    resultisnumeric_ = true;
    FireDnsLookupDone(0);
    return;
  }
  dnsresult_.clear();
  listisresult_ = false;
  resultisnumeric_ = false;
  int rc = dns_.Start(HostName, [this](int error, const std::vector<std::string>& addresses) {
    guardedcall([&] { lookupdone(error, addresses); });
  });
  if (rc != 0) {
    lasterror_ = rc;
    ReportError(HostName + ": can't start DNS lookup, error #" + std::to_string(rc));
  }
}

const std::vector<std::string>& TWSocket::DnsResultList() const {
  // Filled on demand: most callers of a numeric lookup only read the first address.
  if (listisresult_) {
    dnsresultlist_.assign(1, dnsresult_);
    listisresult_ = false;
  }
  return dnsresultlist_;
}

void TWSocket::lookupdone(int error, const std::vector<std::string>& addresses) {
  if (error == 0) {
    dnsresultlist_ = addresses;
    if (!addresses.empty()) dnsresult_ = addresses.front();
  }
  FireDnsLookupDone(static_cast<uint16_t>(error));
}

void TWSocket::AddressLookup(const std::string& Address) {
  TSocketAddress sin{};
  if (!Address.empty() && dottedaddress(Address, sin.v4.sin_addr)) {
    sin.v4.sin_family = AF_INET;
  } else if (ipv6literal(Address, sin.v6.sin6_addr)) {
    sin.v6.sin6_family = AF_INET6;
  } else {
    ReportError("DNS lookup: invalid host name.");
    FireDnsLookupDone(10022);
    return;
  }
  cancellookups();
  dnsresult_.clear();
  dnsresultlist_.clear();
  listisresult_ = false;
  resultisnumeric_ = false;
  auto* r = new TReverseLookup{};
  r->owner = this;
  r->req.data = r;
  int rc = uv_getnameinfo(
      loop_.uv(), &r->req,
      [](uv_getnameinfo_t* req, int status, const char* hostname, const char*) {
        auto* lookup = static_cast<TReverseLookup*>(req->data);
        TWSocket* owner = lookup->owner;
        std::string name = status == 0 && hostname != nullptr ? hostname : "";
        delete lookup;
        if (owner == nullptr) return;
        owner->revlookup_ = nullptr;
        int error = status == 0 ? 0 : wsaerrorfromuv(status);
        owner->guardedcall([&] { owner->reversedone(error, name); });
      },
      &sin.sa, NI_NAMEREQD);
  if (rc != 0) {
    delete r;
    lasterror_ = wsaerrorfromuv(rc);
    ReportError(Address + ": can't start DNS lookup, error #" + std::to_string(lasterror_));
    return;
  }
  revlookup_ = r;
  loop_.Kick();
}

void TWSocket::reversedone(int error, const std::string& name) {
  if (error == 0) {
    dnsresult_ = name;
    dnsresultlist_.assign(1, name);
  }
  FireDnsLookupDone(static_cast<uint16_t>(error));
}

bool TWSocket::cancellookups() {
  bool pending = dns_.Cancel();
  if (revlookup_ != nullptr) {
    // If a worker already runs it, its callback still comes and only frees the request.
    revlookup_->owner = nullptr;
    uv_cancel(reinterpret_cast<uv_req_t*>(&revlookup_->req));
    revlookup_ = nullptr;
    pending = true;
  }
  return pending;
}

void TWSocket::CancelLookup() {
  if (cancellookups() && !destroying_) FireDnsLookupDone(10004);
}
