#include "net/TlsLayer.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "net/ErrorCodes.h"
#include "net/WSocket.h"

namespace {

int bioread(BIO* bio, char* buffer, int size) {
  return static_cast<TTlsLayer*>(BIO_get_data(bio))->BioRead(buffer, size);
}

int biowrite(BIO* bio, const char* data, int len) {
  return static_cast<TTlsLayer*>(BIO_get_data(bio))->BioWrite(data, len);
}

long bioctrl(BIO* bio, int cmd, long, void*) {
  switch (cmd) {
    case BIO_CTRL_FLUSH:
      return 1;
    case BIO_CTRL_EOF:
      return static_cast<TTlsLayer*>(BIO_get_data(bio))->BioEof() ? 1 : 0;
    default:
      return 0;
  }
}

int biocreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

// One method for every connection of the process, made at first use.
BIO_METHOD* biomethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "pressbolt socket");
    BIO_meth_set_read(m, bioread);
    BIO_meth_set_write(m, biowrite);
    BIO_meth_set_ctrl(m, bioctrl);
    BIO_meth_set_create(m, biocreate);
    return m;
  }();
  return method;
}

// The host without the brackets of an IPv6 literal, and whether it is an IP address at all.
bool ipaddress(const std::string& host, std::string& bare) {
  bare = host.size() >= 2 && host.front() == '[' && host.back() == ']'
             ? host.substr(1, host.size() - 2)
             : host;
  unsigned char address[16];
  return inet_pton(AF_INET, bare.c_str(), address) == 1 ||
         inet_pton(AF_INET6, bare.c_str(), address) == 1;
}

}  // namespace

TTlsLayer::TTlsLayer(const TTlsContext& context, TWSocket& socket, const std::string& host,
                     TTlsSession* session)
    : socket_(socket) {
  ssl_ = SSL_new(context.Handle());
  if (ssl_ == nullptr) {
    error_ = ProtocolError;
    reason_ = "cannot start TLS: " + tlserrortext();
    return;
  }
  BIO* bio = BIO_new(biomethod());
  BIO_set_data(bio, this);
  SSL_set_bio(ssl_, bio, bio);
  SSL_set_connect_state(ssl_);
  SSL_set_app_data(ssl_, this);
  if (session != nullptr && context.Options().resume) {
    session_ = session;
    host_ = host;
    if (SSL_SESSION* earlier = session->For(host); earlier != nullptr) {
      SSL_set_session(ssl_, earlier);
    }
  }
  std::string bare;
  if (ipaddress(host, bare)) {
    // No SNI for an address; the certificate must name the address itself.
    if (!context.Options().insecure) {
      X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), bare.c_str());
    }
  } else if (!bare.empty()) {
    SSL_set_tlsext_host_name(ssl_, bare.c_str());
    if (!context.Options().insecure) SSL_set1_host(ssl_, bare.c_str());
  }
}

TTlsLayer::~TTlsLayer() {
  // Freed without close_notify sent, a connection's session is marked as not to be resumed:
  // OpenSSL takes that for a broken connection. Ours end with the server's close, as HTTP/1.0
  // does, so a connection free of TLS failures keeps its session for the user's next one.
  if (ssl_ != nullptr && session_ != nullptr && established_ && error_ == 0) {
    SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
  }
  SSL_free(ssl_);
}

int TTlsLayer::BioRead(char* buffer, int size) {
  BIO_clear_retry_flags(SSL_get_rbio(ssl_));
  const int n = socket_.Receive(buffer, size);
  if (n > 0) {
    lastrxstamp_ = socket_.LastRxStamp();
    return n;
  }
  if (n == 0) {
    eof_ = true;
    return 0;
  }
  if (socket_.LastError() == 10035) {
    BIO_set_retry_read(SSL_get_rbio(ssl_));
  } else {
    sockerror_ = socket_.LastError();
  }
  return -1;
}

int TTlsLayer::BioWrite(const char* data, int len) {
  out_.append(data, static_cast<size_t>(len));
  return len;
}

void TTlsLayer::flush() {
  if (out_.empty()) return;
  // Moved out first: the socket may report a failed send, and its handler may write again.
  std::string records = std::move(out_);
  out_.clear();
  socket_.Send(records.data(), static_cast<int>(records.size()));
}

TTlsLayer::TStep TTlsLayer::Handshake() {
  if (ssl_ == nullptr) return tlsFailed;
  if (established_) return tlsDone;
  ERR_clear_error();
  const int ret = SSL_do_handshake(ssl_);
  try {
    flush();
  } catch (const std::exception& e) {
    error_ = ProtocolError;
    reason_ = e.what();
    return tlsFailed;
  }
  if (ret == 1) {
    established_ = true;
    return tlsDone;
  }
  const int code = SSL_get_error(ssl_, ret);
  if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) return tlsWaiting;
  const unsigned long queued = ERR_peek_error();
  if (eof_ && sockerror_ == 0 &&
      (queued == 0 || ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING)) {
    // The server closed, or reset: the socket says which with its close, and the client reports
    // it then (ClosedEarly).
    ERR_clear_error();
    return tlsWaiting;
  }
  failed(ret, "handshake");
  return tlsFailed;
}

int TTlsLayer::Read(char* buffer, int size) {
  if (ssl_ == nullptr || size <= 0) return -1;
  ERR_clear_error();
  sockerror_ = 0;
  const int ret = SSL_read(ssl_, buffer, size);
  // A TLS 1.3 server may answer a key update; anything written must go out.
  if (!out_.empty()) flush();
  if (ret > 0) return ret;
  const int code = SSL_get_error(ssl_, ret);
  switch (code) {
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      return -1;
    case SSL_ERROR_SYSCALL:
      // The socket's own error (a reset): the socket reports it with the close.
      if (sockerror_ != 0) return -1;
      return 0;
    default:
      failed(ret, "record");
      return -1;
  }
}

bool TTlsLayer::Write(const char* data, int len) {
  if (ssl_ == nullptr) return false;
  if (len <= 0) return true;
  ERR_clear_error();
  const int ret = SSL_write(ssl_, data, len);
  flush();
  if (ret == len) return true;
  failed(ret, "write");
  return false;
}

void TTlsLayer::failed(int ret, const char* during) {
  const int code = SSL_get_error(ssl_, ret);
  const long verify = SSL_get_verify_result(ssl_);
  if (verify != X509_V_OK && !established_) {
    ERR_clear_error();
    error_ = VerifyError;
    reason_ = std::string("certificate verify failed: ") + X509_verify_cert_error_string(verify);
    return;
  }
  if (code == SSL_ERROR_SYSCALL && sockerror_ != 0) {
    ERR_clear_error();
    error_ = static_cast<uint16_t>(sockerror_);
    reason_ = ErrorDesc(sockerror_);
    return;
  }
  std::string text = tlserrortext();
  error_ = ProtocolError;
  if (!text.empty()) {
    reason_ = text;
  } else if (eof_) {
    reason_ = std::string("the server closed the connection during the ") + during;
  } else {
    reason_ = std::string("TLS ") + during + " failed";
  }
}

bool TTlsLayer::Resumed() const {
  return ssl_ != nullptr && SSL_session_reused(ssl_) == 1;
}

int TTlsLayer::NewSession(SSL* ssl, SSL_SESSION* session) {
  auto* layer = static_cast<TTlsLayer*>(SSL_get_app_data(ssl));
  if (layer == nullptr || layer->session_ == nullptr) return 0;
  layer->session_->Keep(session, layer->host_);
  return 1;  // the reference is kept
}

std::string TTlsLayer::Version() const {
  return ssl_ != nullptr ? SSL_get_version(ssl_) : "";
}
