#pragma once
// TTlsContext: what every TLS connection of a test shares (OpenSSL's SSL_CTX): the protocol
// versions, the trusted certificates and whether they are checked at all. One is made per test,
// from its settings, and each connection only points at it: thousands of connections must not
// carry a copy of the trust store each.

#include <openssl/types.h>

#include <memory>
#include <stdexcept>
#include <string>

// A context that cannot be made: the text names the cause (an unreadable CA file, ...).
class ETlsSetup : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TTlsOptions {
  std::string cafile;     // PEM file of further trusted CAs, beside the system's store
  bool insecure = false;  // accept any certificate, for any name
};

class TTlsContext {
 public:
  // TLS 1.2 and 1.3, certificates checked against the system's store (and cafile) unless
  // insecure. Throws ETlsSetup.
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
