// TConnection's bytes over TLS: the server side of the handshake and the records, on the same
// non-blocking socket; a wait of TLS reads as EAGAIN to the rest of the connection.

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

#include "target/Connection.h"

TConnection::TConnection(int fd, bool log, SSL_CTX* tls) : fd_(fd), log_(log) {
  if (tls == nullptr) return;
  ssl_ = SSL_new(tls);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1) {
    drop(false);
    return;
  }
  SSL_set_accept_state(ssl_);
  handshaking_ = true;
}

void TConnection::handshake(int64_t nowms) {
  ERR_clear_error();
  const int ret = SSL_accept(ssl_);
  if (ret == 1) {
    handshaking_ = false;
    wantwrite_ = false;
    // The request may have come with the handshake's last flight.
    onreadable(nowms);
    return;
  }
  const int code = SSL_get_error(ssl_, ret);
  if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
    wantwrite_ = code == SSL_ERROR_WANT_WRITE;
    return;
  }
  if (log_) {
    const unsigned long e = ERR_peek_error();
    const char* reason = e != 0 ? ERR_reason_error_string(e) : nullptr;
    std::fprintf(stderr, "TLS handshake failed: %s\n", reason != nullptr ? reason : "closed");
  }
  ERR_clear_error();
  drop(false);
}

ssize_t TConnection::receive(char* buffer, size_t size) {
  if (ssl_ == nullptr) return recv(fd_, buffer, size, 0);
  ERR_clear_error();
  errno = 0;
  const int n = SSL_read(ssl_, buffer, int(size));
  if (n > 0) return n;
  switch (SSL_get_error(ssl_, n)) {
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_WANT_WRITE:
      wantwrite_ = true;
      errno = EAGAIN;
      return -1;
    case SSL_ERROR_WANT_READ:
      errno = EAGAIN;
      return -1;
    default:
      // A client that closes without close_notify has simply gone.
      ERR_clear_error();
      if (errno == 0 || errno == EAGAIN) return 0;
      return -1;
  }
}

ssize_t TConnection::transmit(const char* data, size_t size) {
  if (ssl_ == nullptr) return send(fd_, data, size, MSG_NOSIGNAL);
  ERR_clear_error();
  const int n = SSL_write(ssl_, data, int(size));
  if (n > 0) return n;
  const int code = SSL_get_error(ssl_, n);
  ERR_clear_error();
  errno = code == SSL_ERROR_WANT_WRITE || code == SSL_ERROR_WANT_READ ? EAGAIN : EPIPE;
  return -1;
}

void TConnection::closenotify() {
  if (ssl_ == nullptr || handshaking_ || fd_ < 0) return;
  // One attempt: the client reads the body to the close either way.
  SSL_shutdown(ssl_);
  ERR_clear_error();
}
