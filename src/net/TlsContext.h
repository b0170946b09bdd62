#pragma once
// TTlsContext: what every TLS connection of a test shares (OpenSSL's SSL_CTX): the protocol
// versions, the trusted certificates and whether they are checked at all. One is made per test,
// from its settings, and each connection only points at it: thousands of connections must not
// carry a copy of the trust store each. TTlsSession: a user's session kept for resumption.

#include <openssl/types.h>

#include <memory>
#include <stdexcept>
#include <string>

// OpenSSL declares it in ssl.h only, which this header leaves to the files that call it.
typedef struct ssl_session_st SSL_SESSION;

// A context that cannot be made: the text names the cause (an unreadable CA file, ...).
class ETlsSetup : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TTlsOptions {
  std::string cafile;     // PEM file of further trusted CAs, beside the system's store
  bool insecure = false;  // accept any certificate, for any name
  // Connections keep the session the server gives them (TTlsSession) and offer it again, as a
  // returning visitor does; without it every handshake is a full one and no ticket is asked for.
  bool resume = false;
};

// One user's TLS session, kept from one connection to offer at its next: empty until a server
// gave one. Only the connections of one context may share it.
class TTlsSession {
 public:
  TTlsSession() = default;
  ~TTlsSession();
  TTlsSession(TTlsSession&& other) noexcept
      : session_(other.session_), host_(std::move(other.host_)) {
    other.session_ = nullptr;
  }
  TTlsSession& operator=(TTlsSession&&) = delete;
  TTlsSession(const TTlsSession&) = delete;
  TTlsSession& operator=(const TTlsSession&) = delete;

  // The session for host (as the connection named it), or nullptr: a session goes back only
  // to the server that gave it.
  SSL_SESSION* For(const std::string& host) const { return host == host_ ? session_ : nullptr; }
  // Takes over the caller's reference to session, given by host.
  void Keep(SSL_SESSION* session, const std::string& host);

 private:
  SSL_SESSION* session_ = nullptr;
  std::string host_;
};

class TTlsContext {
 public:
  // TLS 1.2 and 1.3, certificates checked against the system's store (and cafile) unless
  // insecure; sessions kept for resumption when asked. Throws ETlsSetup.
  explicit TTlsContext(const TTlsOptions& options);
  ~TTlsContext();
  TTlsContext(const TTlsContext&) = delete;
  TTlsContext& operator=(const TTlsContext&) = delete;

  SSL_CTX* Handle() const { return ctx_; }
  const TTlsOptions& Options() const { return options_; }

  // The context of clients nobody gave one: the system's store, checked. Made at first use.
  static std::shared_ptr<TTlsContext> Default();

 private:
  SSL_CTX* ctx_ = nullptr;
  TTlsOptions options_;
};

// OpenSSL's text for the oldest error in this thread's queue, which it then empties ("" when the
// queue is empty), without the library's prefixes: "wrong version number".
std::string tlserrortext();
