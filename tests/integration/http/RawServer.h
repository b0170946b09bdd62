#pragma once
// A server of canned answers on a loopback address, in a thread of its own: each connection reads
// one request (its header and announced body), gets the next answer's bytes, and ends with a
// close or a reset. For answers pressbolt-target has no route for.

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

struct TRawAnswer {
  std::string bytes;
  bool reset = false;  // end with a reset (once the bytes have left) instead of a close
};

class TRawServer {
 public:
  explicit TRawServer(std::vector<TRawAnswer> answers, const char* address = "127.0.0.1")
      : answers_(std::move(answers)), address_(address) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 16) != 0) {
      ::close(fd_);
      throw std::runtime_error(std::string("cannot listen on ") + address);
    }
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~TRawServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  TRawServer(const TRawServer&) = delete;
  TRawServer& operator=(const TRawServer&) = delete;

  int port() const { return port_; }
  std::string hostport() const { return address_ + ":" + std::to_string(port_); }
  std::string url(const std::string& path) const { return "http://" + hostport() + path; }
  // The requests read so far, each as it came (header and body).
  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return requests_;
  }

 private:
  void serve() {
    for (const TRawAnswer& answer : answers_) {
      int c = -1;
      while (c < 0 && !stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      }
      if (c < 0) return;
      std::string request = readrequest(c);
      {
        std::lock_guard<std::mutex> hold(mutex_);
        requests_.push_back(request);
      }
      for (size_t at = 0; at < answer.bytes.size();) {
        ssize_t n = ::send(c, answer.bytes.data() + at, answer.bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) break;
        at += size_t(n);
      }
      if (answer.reset) {
        // Only once everything sent was taken by the peer: a reset drops what is still queued.
        int queued = 1;
        while (!stop_ && ::ioctl(c, SIOCOUTQ, &queued) == 0 && queued > 0) {
          pollfd p{c, 0, 0};
          ::poll(&p, 1, 1);
        }
        linger l{1, 0};
        ::setsockopt(c, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      }
      ::close(c);
    }
  }

  static std::string readrequest(int c) {
    std::string in;
    char buf[4096];
    size_t end = std::string::npos;
    while (end == std::string::npos) {
      ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) return in;
      in.append(buf, size_t(n));
      end = in.find("\r\n\r\n");
    }
    size_t length = 0;
    const size_t field = in.find("Content-Length: ");
    if (field != std::string::npos && field < end) length = std::stoul(in.substr(field + 16));
    while (in.size() < end + 4 + length) {
      ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      in.append(buf, size_t(n));
    }
    return in;
  }

  std::vector<TRawAnswer> answers_;
  std::string address_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};
