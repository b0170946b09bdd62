#pragma once
// One accepted client of pressbolt-target: reads its request (bounded), answers through the
// routes and ends the connection as the route says. It owns the socket but knows nothing of
// epoll: the server asks it which events it wants and when its timer is due.

#include <openssl/types.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "target/Request.h"
#include "target/Routes.h"

// Longest request header accepted; a longer one is answered with 431.
constexpr size_t kMaxHeader = 64 * 1024;
// How long a finished connection waits for the client to close before it is dropped.
constexpr int64_t kDrainMs = 10000;

class TConnection {
 public:
  // Takes ownership of the non-blocking socket fd; speaks TLS with the context tls unless null.
  TConnection(int fd, bool log, SSL_CTX* tls = nullptr);
  // Closes the socket if it is still open.
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // Handle readiness reported by epoll; nowms is the monotonic clock in milliseconds.
  void onreadable(int64_t nowms);
  void onwritable(int64_t nowms);
  // EPOLLERR or EPOLLHUP: the peer is gone, so the connection ends.
  void onerror();
  // The deadline has passed (trickle step or end of the drain wait).
  void ontimer(int64_t nowms);

  bool closed() const { return state_ == TState::closed; }
  // The epoll events wanted now (EPOLLIN / EPOLLOUT); 0 once closed.
  uint32_t events() const;
  // Monotonic milliseconds of the next timer, 0 when none is wanted.
  int64_t deadline() const { return deadline_; }

 private:
  enum class TState { reading, delaying, sending, trickling, hanging, draining, closed };

  void consume(const char* data, size_t len, int64_t nowms);
  void answer(TResponse r, int64_t nowms);
  void respond(TResponse r, int64_t nowms);
  void flush(int64_t nowms);
  void finish(int64_t nowms);
  void peereof();
  void drop(bool reset);
  bool pending() const { return outpos_ < out_.size() || pattern_ > 0; }
  // The socket's bytes, through TLS when the connection speaks it (ConnectionTls.cpp): recv and
  // send, with TLS's waits as EAGAIN.
  ssize_t receive(char* buffer, size_t size);
  ssize_t transmit(const char* data, size_t size);
  void handshake(int64_t nowms);
  void closenotify();

  int fd_;
  bool log_;
  SSL* ssl_ = nullptr;
  bool handshaking_ = false;
  bool wantwrite_ = false;  // TLS must write before it can go on
  TState state_ = TState::reading;
  bool peereof_ = false;

  std::string in_;        // the request as received (header, and the body when kept)
  size_t headerlen_ = 0;  // 0 until the header is complete
  int64_t bodyleft_ = 0;  // announced body bytes still to read
  bool keepbody_ = false;
  TRequest rq_;

  std::string out_;
  size_t outpos_ = 0;
  int64_t pattern_ = 0;     // pattern bytes still to send
  int64_t patternpos_ = 0;  // body offset of the next pattern byte
  TAfter after_ = TAfter::close;
  int64_t trickleleft_ = 0;
  int tricklems_ = 10;
  int64_t deadline_ = 0;
  TResponse held_;      // the response a delay holds back
  int64_t heldns_ = 0;  // monotonic nanoseconds at which it may go
};
