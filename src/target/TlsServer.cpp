#include "target/TlsServer.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

std::string lasterror() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : "unknown error";
}

SSL_CTX* newcontext() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) throw std::runtime_error("cannot make a TLS context: " + lasterror());
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // Writes of the body go out in pieces as the socket takes them.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                            SSL_MODE_RELEASE_BUFFERS);
  // One stateless ticket per connection, as servers commonly give, so a returning visitor may
  // resume (pressbolt-cli --tls-resume); nothing is cached here, and a client that never offers
  // its ticket only receives its bytes.
  SSL_CTX_set_num_tickets(ctx, 1);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  return ctx;
}

void addname(X509* cert, const char* names) {
  X509V3_CTX v3{};
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, names);
  if (ext == nullptr) throw std::runtime_error("cannot name the certificate: " + lasterror());
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

}  // namespace

SSL_CTX* tlsserverfromfiles(const std::string& certfile, const std::string& keyfile) {
  SSL_CTX* ctx = newcontext();
  if (SSL_CTX_use_certificate_chain_file(ctx, certfile.c_str()) != 1) {
    SSL_CTX_free(ctx);
    throw std::runtime_error("cannot read the certificate " + certfile + ": " + lasterror());
  }
  if (SSL_CTX_use_PrivateKey_file(ctx, keyfile.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx) != 1) {
    SSL_CTX_free(ctx);
    throw std::runtime_error("cannot use the key " + keyfile + ": " + lasterror());
  }
  return ctx;
}

SSL_CTX* tlsserverselfsigned(const std::string& certout) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  if (!key || !cert) throw std::runtime_error("cannot make a key: " + lasterror());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("pressbolt-target"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  addname(cert.get(), "IP:127.0.0.1,IP:::1,DNS:localhost");
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
    throw std::runtime_error("cannot sign the certificate: " + lasterror());
  }
  if (!certout.empty()) {
    FILE* f = std::fopen(certout.c_str(), "w");
    if (f == nullptr || PEM_write_X509(f, cert.get()) != 1) {
      if (f != nullptr) std::fclose(f);
      throw std::runtime_error("cannot write the certificate to " + certout);
    }
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write the certificate to " + certout);
  }
  SSL_CTX* ctx = newcontext();
  if (SSL_CTX_use_certificate(ctx, cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(ctx, key.get()) != 1) {
    SSL_CTX_free(ctx);
    throw std::runtime_error("cannot use the certificate: " + lasterror());
  }
  return ctx;
}
