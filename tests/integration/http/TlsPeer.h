#pragma once
// A one-connection server on a thread of its own for the TLS cases pressbolt-target does not
// play: a server that closes without close_notify, one that resets in the middle of the
// handshake, one that answers in plain HTTP, and one that never answers.

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "support/TestCerts.h"

class TTlsPeer {
 public:
  enum TMode { NoCloseNotify, ResetInHandshake, PlainAnswer, Stall };

  TTlsPeer(TMode mode, const TTestCert& cert, std::string body = "")
      : mode_(mode), cert_(cert), body_(std::move(body)) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 4) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      throw std::runtime_error("cannot listen");
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~TTlsPeer() {
    thread_.join();
    close(listen_);
  }
  TTlsPeer(const TTlsPeer&) = delete;
  TTlsPeer& operator=(const TTlsPeer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  // Waits at most 30 s for fd to become readable.
  static bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 30000) == 1;
  }

  void serve() {
    if (!readable(listen_)) return;
    const int fd = accept(listen_, nullptr, nullptr);
    if (fd < 0) return;
    char buf[4096];
    switch (mode_) {
      case ResetInHandshake: {
        if (readable(fd)) (void)recv(fd, buf, sizeof buf, 0);
        linger lg{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        break;
      }
      case PlainAnswer: {
        if (readable(fd)) (void)recv(fd, buf, sizeof buf, 0);
        const std::string answer = "HTTP/1.0 400 Bad Request\r\n\r\n<html>plain</html>\r\n";
        (void)send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        break;
      }
      case Stall:
        // Until the client gives up.
        while (readable(fd) && recv(fd, buf, sizeof buf, 0) > 0) {
        }
        break;
      case NoCloseNotify:
        tlsanswer(fd);
        break;
    }
    close(fd);
  }

  void tlsanswer(int fd) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(ctx, cert_.cert.c_str());
    SSL_CTX_use_PrivateKey_file(ctx, cert_.key.c_str(), SSL_FILETYPE_PEM);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int n = SSL_read(ssl, buf, sizeof buf);
        if (n <= 0) break;
        request.append(buf, size_t(n));
      }
      const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body_;
      SSL_write(ssl, answer.data(), int(answer.size()));
    }
    // No SSL_shutdown: the body ends with the TCP close alone.
    SSL_free(ssl);
    SSL_CTX_free(ctx);
  }

  TMode mode_;
  TTestCert cert_;
  std::string body_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
};
