// The practical limit the benchmarks compare with: one wave of N HTTP/1.0 GETs on N connections
// that does nothing but socket, connect, send, recv and close on one edge-triggered epoll set. No
// log, no statistics, no per-request objects beyond a byte of state.
//
// With --port-window each socket takes its source port from its own narrow window of the port
// range, through the very calls the engine's sockets use, and from as many open connections on
// as theirs do. Above ~14 000 connections the kernel's own choice of a source port costs more
// than everything else here, so only with the windows on both sides is the comparison with
// pressbolt-cli one of the clients' own work.
//
// usage: minimal_epoll_client [--port-window] IPV4 PORT PATH N
// Prints "done D ok K" (K answers that began with a 200 status line) and exits 0 when D == N.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/PortWindow.h"

namespace {

enum : unsigned char { kConnecting, kWaiting, kBody, kDone };

}  // namespace

int main(int argc, char** argv) {
  const char* program = argv[0];
  const bool windows = argc > 1 && std::strcmp(argv[1], "--port-window") == 0;
  if (windows) {
    --argc;
    ++argv;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s [--port-window] IPV4 PORT PATH N\n", program);
    return 2;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
  if (inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) return 2;
  const std::string request =
      std::string("GET ") + argv[3] + " HTTP/1.0\r\nHost: " + argv[1] + "\r\n\r\n";
  const int n = std::atoi(argv[4]);
  rlimit r{};
  getrlimit(RLIMIT_NOFILE, &r);
  r.rlim_cur = r.rlim_max;
  setrlimit(RLIMIT_NOFILE, &r);

  int ep = epoll_create1(EPOLL_CLOEXEC);
  std::vector<unsigned char> state;  // by descriptor
  int done = 0, ok = 0;
  auto finish = [&](int fd) {
    state[static_cast<size_t>(fd)] = kDone;
    close(fd);
    if (windows) noteconnection(-1);
    ++done;
  };
  for (int i = 0; i < n; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      ++done;
      continue;
    }
    if (static_cast<size_t>(fd) >= state.size()) state.resize(static_cast<size_t>(fd) + 1024);
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    ev.data.fd = fd;
    epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
    state[static_cast<size_t>(fd)] = kConnecting;
    int rc = windows && portwindowwanted()
                 ? connectfromwindow(fd, to)
                 : connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (windows) noteconnection(1);
    if (rc != 0 && errno != EINPROGRESS) {
      finish(fd);
    }
  }
  std::vector<epoll_event> evs(1024);
  char buf[8192];
  while (done < n) {
    int k = epoll_wait(ep, evs.data(), static_cast<int>(evs.size()), 10000);
    if (k <= 0) break;  // nothing for ten seconds: give up
    for (int i = 0; i < k; ++i) {
      int fd = evs[static_cast<size_t>(i)].data.fd;
      uint32_t e = evs[static_cast<size_t>(i)].events;
      unsigned char& s = state[static_cast<size_t>(fd)];
      if (s == kConnecting) {
        if (e & (EPOLLERR | EPOLLHUP)) {
          finish(fd);
          continue;
        }
        if (!(e & EPOLLOUT)) continue;
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
          finish(fd);
          continue;
        }
        s = kWaiting;
      }
      if (s == kDone || !(e & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP))) continue;
      for (;;) {
        ssize_t got = recv(fd, buf, sizeof buf, 0);
        if (got > 0) {
          if (s == kWaiting && got >= 12 && std::memcmp(buf + 8, " 200", 4) == 0) ++ok;
          s = kBody;
          continue;
        }
        if (got == 0 || errno != EAGAIN) finish(fd);
        break;
      }
    }
  }
  std::printf("done %d ok %d\n", done, ok);
  return done == n ? 0 : 1;
}
