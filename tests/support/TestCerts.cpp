#include "support/TestCerts.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

using TKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using TCert = std::unique_ptr<X509, decltype(&X509_free)>;

void extend(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX v3{};
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value.c_str());
  if (ext == nullptr) throw std::runtime_error("bad certificate extension " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

TCert makecert(EVP_PKEY* key, const std::string& cn, long notbefore, long notafter) {
  TCert cert(X509_new(), X509_free);
  static long serial = 1;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), notbefore);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), notafter);
  X509_set_pubkey(cert.get(), key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  return cert;
}

void writepem(const std::string& path, X509* cert, EVP_PKEY* key) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  bool ok = cert != nullptr ? PEM_write_X509(f, cert) == 1
                            : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

TKey readkey(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) throw std::runtime_error("cannot read " + path);
  TKey key(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr), EVP_PKEY_free);
  std::fclose(f);
  return key;
}

TCert readcert(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) throw std::runtime_error("cannot read " + path);
  TCert cert(PEM_read_X509(f, nullptr, nullptr, nullptr), X509_free);
  std::fclose(f);
  return cert;
}

}  // namespace

TTestCa::TTestCa(const std::string& dir)
    : dir_(dir), cafile_(dir + "/ca.pem"), cakey_(dir + "/ca.key") {
  TKey key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  TCert cert = makecert(key.get(), "Pressbolt Test CA", -3600, 86400);
  X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get()));
  extend(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  extend(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  X509_sign(cert.get(), key.get(), EVP_sha256());
  writepem(cafile_, cert.get(), nullptr);
  writepem(cakey_, nullptr, key.get());
}

TTestCert TTestCa::issue(const std::string& stem, const std::string& names, long notbefore,
                         long notafter, size_t extrabytes) const {
  TKey cakey = readkey(cakey_);
  TCert ca = readcert(cafile_);
  TKey key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  TCert cert = makecert(key.get(), stem, notbefore, notafter);
  X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get()));
  extend(cert.get(), ca.get(), NID_subject_alt_name, names);
  if (extrabytes > 0)
    extend(cert.get(), ca.get(), NID_netscape_comment, std::string(extrabytes, 'x'));
  X509_sign(cert.get(), cakey.get(), EVP_sha256());
  TTestCert out{dir_ + "/" + stem + ".pem", dir_ + "/" + stem + ".key"};
  writepem(out.cert, cert.get(), nullptr);
  writepem(out.key, nullptr, key.get());
  return out;
}
