#pragma once
// What the socket tests share. A plain blocking listening socket on 127.0.0.1 (or ::1) for them
// to talk to: the kernel completes a connection before anyone accepts it, so a test can accept
// and act as the peer from inside the client's handlers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "net/WSocket.h"

struct TPlainServer {
  int fd = -1;
  std::string port;

  // listening false: bound only, so a connect to it is refused. family AF_INET6: on ::1.
  explicit TPlainServer(bool listening = true, int rcvbuf = 0, int family = AF_INET) {
    fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (rcvbuf > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_loopback;
    sockaddr* at =
        family == AF_INET6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
    socklen_t len = family == AF_INET6 ? sizeof a6 : sizeof a;
    ::bind(fd, at, len);
    if (listening) ::listen(fd, 64);
    getsockname(fd, at, &len);
    port = std::to_string(ntohs(family == AF_INET6 ? a6.sin6_port : a.sin_port));
  }
  ~TPlainServer() { ::close(fd); }
  TPlainServer(const TPlainServer&) = delete;
  TPlainServer& operator=(const TPlainServer&) = delete;

  int Accept() const { return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
};

// Reads exactly n bytes (blocking).
inline std::string readexactly(int fd, size_t n) {
  std::string s;
  char buf[4096];
  while (s.size() < n) {
    ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - s.size()));
    if (r <= 0) break;
    s.append(buf, static_cast<size_t>(r));
  }
  return s;
}

inline void writeall(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t w = ::write(fd, s.data() + off, s.size() - off);
    if (w <= 0) break;
    off += static_cast<size_t>(w);
  }
}

// The message of the socket exception f throws.
inline std::string thrown(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "(nothing thrown)";
}
