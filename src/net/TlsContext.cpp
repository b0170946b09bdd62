#include "net/TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <mutex>

#include "net/TlsLayer.h"

TTlsSession::~TTlsSession() {
  SSL_SESSION_free(session_);
}

void TTlsSession::Keep(SSL_SESSION* session, const std::string& host) {
  SSL_SESSION_free(session_);
  session_ = session;
  host_ = host;
}

TTlsContext::TTlsContext(const TTlsOptions& options) : options_(options) {
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (ctx_ == nullptr) throw ETlsSetup("cannot make a TLS context: " + tlserrortext());
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx_, TLS1_3_VERSION);
  // Each connection carries one request and closes: the buffers go back while it waits, which is
  // most of its life, and the memory of a wave of users stays that of the active ones.
  SSL_CTX_set_mode(ctx_, SSL_MODE_RELEASE_BUFFERS);
  // A record's header and body in one read, and a whole flight of the server's in one: the layer
  // reads until the socket is empty anyway, so nothing waits in OpenSSL unseen.
  SSL_CTX_set_read_ahead(ctx_, 1);
  // An HTTP/1.0 body ends at the close; many servers close without close_notify, and the
  // response is complete all the same. A cut header is still found by the HTTP client.
  SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (options_.resume) {
    // Each new session goes to its connection's user (TTlsLayer), not into a cache of the
    // context: a user resumes its own session only. A TLS 1.3 ticket comes after the handshake,
    // so the callback, not the end of the handshake, is where a session becomes known.
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL);
    SSL_CTX_sess_set_new_cb(ctx_, TTlsLayer::NewSession);
  } else {
    // Every user is a new visitor: a full handshake each, no session cache.
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(ctx_, SSL_OP_NO_TICKET);
  }
  if (options_.insecure) {
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    return;
  }
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  if (SSL_CTX_set_default_verify_paths(ctx_) != 1) ERR_clear_error();
  if (!options_.cafile.empty() &&
      SSL_CTX_load_verify_locations(ctx_, options_.cafile.c_str(), nullptr) != 1) {
    std::string cause = tlserrortext();
    SSL_CTX_free(ctx_);
    throw ETlsSetup("cannot read the CA file \"" + options_.cafile + "\": " + cause);
  }
}

TTlsContext::~TTlsContext() {
  SSL_CTX_free(ctx_);
}

std::shared_ptr<TTlsContext> TTlsContext::Default() {
  static std::mutex guard;
  static std::shared_ptr<TTlsContext> made;
  std::lock_guard<std::mutex> lock(guard);
  if (!made) made = std::make_shared<TTlsContext>(TTlsOptions{});
  return made;
}

std::string tlserrortext() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return std::string();
  const char* reason = ERR_reason_error_string(code);
  if (reason != nullptr) return reason;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}
