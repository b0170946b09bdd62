#pragma once
// Certificates for TLS tests, made with OpenSSL's API in a directory of the test: a CA of the
// test's own and server certificates it signs, for the names and the validity the test asks.

#include <string>

struct TTestCert {
  std::string cert, key;  // PEM files
};

class TTestCa {
 public:
  // Makes the CA's key and certificate (ca.pem) in dir.
  explicit TTestCa(const std::string& dir);
  const std::string& cafile() const { return cafile_; }
  // A P-256 server certificate signed by the CA, in dir/<stem>.pem and dir/<stem>.key, for the
  // names given as subjectAltName ("IP:127.0.0.1,DNS:localhost"), valid from notbefore to
  // notafter seconds from now. extrabytes pads the certificate with a comment of that size.
  TTestCert issue(const std::string& stem, const std::string& names, long notbefore = -3600,
                  long notafter = 86400, size_t extrabytes = 0) const;

 private:
  std::string dir_, cafile_, cakey_;
};
