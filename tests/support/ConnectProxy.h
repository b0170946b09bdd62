#pragma once
// A small forward proxy on 127.0.0.1 for tests, a thread per connection: CONNECT opens a tunnel to
// a loopback port and relays bytes both ways; a request with an absolute http URL is passed on
// unchanged to the URL's loopback port (pressbolt-target takes the absolute form). It keeps each
// request header it was sent. Instead of tunnelling it can give a canned answer to CONNECT (a
// refusal, a broken answer, or a close without one).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class TConnectProxy {
 public:
  // answer: sent in place of any tunnel, then the connection closes ("" closes without a word).
  explicit TConnectProxy(std::optional<std::string> answer = std::nullopt)
      : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 64) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      ::close(fd_);
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { acceptloop(); });
  }
  ~TConnectProxy() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& t : relays_) t.join();
    ::close(fd_);
  }
  TConnectProxy(const TConnectProxy&) = delete;
  TConnectProxy& operator=(const TConnectProxy&) = delete;

  int port() const { return port_; }
  std::string hostport() const { return "127.0.0.1:" + std::to_string(port_); }
  // The request headers received so far, each up to and with its empty line.
  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return requests_;
  }

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    return a;
  }
  static void sendall(int fd, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return;
      at += size_t(n);
    }
  }
  // The port of "host:port" or of an absolute URL's authority; 0 unless the host is loopback.
  static int loopbackport(const std::string& authority) {
    const size_t colon = authority.rfind(':');
    if (colon == std::string::npos) return 0;
    const std::string host = authority.substr(0, colon);
    if (host != "127.0.0.1" && host != "localhost") return 0;
    return std::atoi(authority.c_str() + colon + 1);
  }

  void acceptloop() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c >= 0) relays_.emplace_back([this, c] { serve(c); });
    }
  }

  void serve(int c) {
    std::string head;
    char buf[16384];
    while (head.find("\r\n\r\n") == std::string::npos) {
      pollfd p{c, POLLIN, 0};
      if (::poll(&p, 1, 30000) <= 0) break;
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, size_t(n));
    }
    const size_t end = head.find("\r\n\r\n");
    if (end == std::string::npos) {
      ::close(c);
      return;
    }
    {
      std::lock_guard<std::mutex> hold(mutex_);
      requests_.push_back(head.substr(0, end + 4));
    }
    const bool connect = head.rfind("CONNECT ", 0) == 0;
    if (connect && answer_) {
      sendall(c, *answer_);
      ::close(c);
      return;
    }
    // "CONNECT host:port ..." or "GET http://host:port/... ..."
    const size_t from = head.find(' ') + 1;
    std::string target = head.substr(from, head.find(' ', from) - from);
    if (!connect) {
      const size_t authority = target.find("://");
      target = authority == std::string::npos ? "" : target.substr(authority + 3);
      target = target.substr(0, target.find('/'));
    }
    const int port = loopbackport(target);
    const int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback(port);
    if (port <= 0 || ::connect(up, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
      sendall(c, "HTTP/1.0 502 Bad Gateway\r\n\r\n");
      ::close(up);
      ::close(c);
      return;
    }
    if (connect) {
      sendall(c, "HTTP/1.1 200 Connection established\r\n\r\n");
      if (head.size() > end + 4) sendall(up, head.substr(end + 4));
    } else {
      sendall(up, head);
    }
    relay(c, up);
    ::close(up);
    ::close(c);
  }

  // Both ways until both sides have closed; each close is passed on as a half close.
  static void relay(int a, int b) {
    bool open[2] = {true, true};
    char buf[16384];
    while (open[0] || open[1]) {
      pollfd p[2] = {{a, short(open[0] ? POLLIN : 0), 0}, {b, short(open[1] ? POLLIN : 0), 0}};
      if (::poll(p, 2, 30000) <= 0) return;
      for (int i = 0; i < 2; ++i) {
        if (!open[i] || p[i].revents == 0) continue;
        const int from = i == 0 ? a : b, to = i == 0 ? b : a;
        const ssize_t n = ::recv(from, buf, sizeof buf, 0);
        if (n <= 0) {
          open[i] = false;
          ::shutdown(to, SHUT_WR);
          if (n < 0) return;
        } else {
          sendall(to, std::string(buf, size_t(n)));
        }
      }
    }
  }

  std::optional<std::string> answer_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread acceptor_;
  std::vector<std::thread> relays_;
};
