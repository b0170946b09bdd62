#include "target/Connection.h"

#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

int64_t monotonicns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Per readiness report, so one busy client cannot starve the others (epoll reports again).
constexpr int kReadsPerEvent = 16;
constexpr size_t kSendPerEvent = 1024 * 1024;

}  // namespace

TConnection::~TConnection() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  if (fd_ >= 0) close(fd_);
}

uint32_t TConnection::events() const {
  if (state_ == TState::closed) return 0;
  if (handshaking_) return wantwrite_ ? uint32_t(EPOLLOUT) : uint32_t(EPOLLIN);
  uint32_t ev = peereof_ ? 0u : uint32_t(EPOLLIN);
  if (wantwrite_) ev |= EPOLLOUT;
  if ((state_ == TState::sending || state_ == TState::trickling) && pending()) ev |= EPOLLOUT;
  return ev;
}

void TConnection::onreadable(int64_t nowms) {
  if (handshaking_) return handshake(nowms);
  static char buf[64 * 1024];
  for (int i = 0; i < kReadsPerEvent && state_ != TState::closed && !peereof_; ++i) {
    ssize_t n = receive(buf, sizeof buf);
    if (n > 0) {
      consume(buf, size_t(n), nowms);
    } else if (n == 0) {
      peereof();
    } else if (errno == EINTR) {
      continue;
    } else {
      if (errno != EAGAIN && errno != EWOULDBLOCK) drop(false);
      return;
    }
  }
}

void TConnection::onwritable(int64_t nowms) {
  if (handshaking_) return handshake(nowms);
  if (wantwrite_) {
    wantwrite_ = false;
    onreadable(nowms);
  }
  if (state_ == TState::sending || state_ == TState::trickling) flush(nowms);
}

void TConnection::onerror() {
  drop(false);
}

void TConnection::ontimer(int64_t nowms) {
  deadline_ = 0;
  if (state_ == TState::draining) {
    drop(false);
  } else if (state_ == TState::delaying) {
    // The timers count whole milliseconds: never answer a moment early.
    const int64_t left = heldns_ - monotonicns();
    if (left > 0) {
      deadline_ = nowms + (left + 999999) / 1000000;
      return;
    }
    respond(std::move(held_), nowms);
  } else if (state_ == TState::trickling && trickleleft_ > 0 && !pending()) {
    --trickleleft_;
    pattern_ = 1;
    flush(nowms);
  }
}

void TConnection::consume(const char* data, size_t len, int64_t nowms) {
  if (state_ != TState::reading) return;  // anything after the request is read and dropped
  if (headerlen_ == 0) {
    size_t before = in_.size();
    in_.append(data, len);
    size_t end = headerend(in_, before);
    if (end == std::string::npos) {
      if (in_.size() > kMaxHeader) answer(simple(431, "request header too large\n"), nowms);
      return;
    }
    if (end > kMaxHeader) return answer(simple(431, "request header too large\n"), nowms);
    headerlen_ = end;
    if (!parserequest(std::string_view(in_).substr(0, end), rq_))
      return answer(simple(400, "bad request\n"), nowms);
    keepbody_ = keepsbody(rq_);
    if (keepbody_ && rq_.ContentLength > kMaxEchoBody)
      return answer(simple(413, "request body too large\n"), nowms);
    bodyleft_ = rq_.ContentLength;
    // Bytes past the header already read belong to the body (and beyond it, to nothing).
    size_t extra = in_.size() - end;
    size_t body = size_t(std::min<int64_t>(bodyleft_, int64_t(extra)));
    in_.resize(end + (keepbody_ ? body : 0));
    bodyleft_ -= int64_t(body);
  } else {
    size_t body = size_t(std::min<int64_t>(bodyleft_, int64_t(len)));
    if (keepbody_) in_.append(data, body);
    bodyleft_ -= int64_t(body);
  }
  if (bodyleft_ == 0) answer(route(rq_, in_), nowms);
}

void TConnection::answer(TResponse r, int64_t nowms) {
  if (log_) {
    std::fprintf(stderr, "%s %s %d\n", rq_.Method.empty() ? "-" : rq_.Method.c_str(),
                 rq_.Target.empty() ? "-" : rq_.Target.c_str(), r.Status);
  }
  std::string().swap(in_);
  if (r.DelayMs > 0) {
    // Counted from now, when the request has been read, with the nanosecond clock: the batch
    // time nowms may be a little old already. The timer is due at the first whole millisecond
    // of the monotonic clock at or after the moment.
    heldns_ = monotonicns() + int64_t(r.DelayMs) * 1000000;
    deadline_ = (heldns_ + 999999) / 1000000;
    held_ = std::move(r);
    state_ = TState::delaying;
    return;
  }
  respond(std::move(r), nowms);
}

void TConnection::respond(TResponse r, int64_t nowms) {
  state_ = TState::sending;
  out_ = std::move(r.Head);
  outpos_ = 0;
  pattern_ = r.PatternBytes;
  patternpos_ = 0;
  after_ = r.After;
  trickleleft_ = r.TrickleBytes;
  tricklems_ = r.TrickleMs;
  flush(nowms);
}

void TConnection::flush(int64_t nowms) {
  size_t budget = kSendPerEvent;
  while (pending() && budget > 0) {
    std::string_view chunk;
    if (outpos_ < out_.size())
      chunk = std::string_view(out_).substr(outpos_, budget);
    else
      chunk = patternspan(patternpos_, size_t(std::min<int64_t>(pattern_, int64_t(budget))));
    ssize_t n = transmit(chunk.data(), chunk.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) drop(false);  // the client went away
      return;
    }
    budget -= std::min(budget, size_t(n));
    if (outpos_ < out_.size()) {
      outpos_ += size_t(n);
      if (outpos_ == out_.size()) {
        std::string().swap(out_);
        outpos_ = 0;
      }
    } else {
      pattern_ -= n;
      patternpos_ += n;
    }
  }
  if (!pending()) finish(nowms);
}

void TConnection::finish(int64_t nowms) {
  if (after_ == TAfter::reset) return drop(true);
  if (after_ == TAfter::hang) {
    state_ = TState::hanging;
    return;
  }
  if (after_ == TAfter::trickle && trickleleft_ > 0) {
    state_ = TState::trickling;
    deadline_ = nowms + tricklems_;
    return;
  }
  // Half-close and wait for the client's close, so a request byte still in flight cannot turn
  // our close into a reset that destroys the answer on its way.
  closenotify();
  if (shutdown(fd_, SHUT_WR) != 0) return drop(false);
  state_ = TState::draining;
  deadline_ = nowms + kDrainMs;
  if (peereof_) drop(false);
}

void TConnection::peereof() {
  peereof_ = true;
  // A client may half-close after its request and still read the answer; otherwise it is gone.
  if (state_ == TState::reading || state_ == TState::hanging || state_ == TState::draining)
    drop(false);
}

void TConnection::drop(bool reset) {
  if (fd_ < 0) return;
  if (ssl_ != nullptr) {
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (reset) {
    linger lg{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  }
  close(fd_);
  fd_ = -1;
  state_ = TState::closed;
  deadline_ = 0;
}
