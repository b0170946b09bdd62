#pragma once
// Pieces shared by the files that implement TWSocket.

#include "net/WSocket.h"

// Remembers whether the socket survived the handlers run while the guard lives: a handler may
// destroy the socket that called it. Guards nest; the destructor of TWSocket clears the innermost
// and each guard passes the news outwards as it ends.
// The guard stores its own address in the socket on purpose and takes it back when it ends.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
struct TWSocket::TAliveGuard {
  explicit TAliveGuard(TWSocket* socket) : s(socket), prev(socket->alive_) { s->alive_ = &alive; }
  ~TAliveGuard() {
    if (alive) {
      s->alive_ = prev;
    } else if (prev != nullptr) {
      *prev = false;
    }
  }
  TAliveGuard(const TAliveGuard&) = delete;
  TAliveGuard& operator=(const TAliveGuard&) = delete;

  TWSocket* s;
  bool* prev;
  bool alive = true;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// errno of the last failed call as a Winsock number.
int wsalasterror();
