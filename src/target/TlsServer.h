#pragma once
// TLS of pressbolt-target: the server context, from a certificate and key in PEM files or from a
// throwaway self-signed certificate for 127.0.0.1, ::1 and localhost made at start.

#include <openssl/types.h>

#include <string>

// Loads the certificate chain and key; throws std::runtime_error naming the file and cause.
SSL_CTX* tlsserverfromfiles(const std::string& certfile, const std::string& keyfile);
// Makes a P-256 key and a certificate for 127.0.0.1, ::1 and localhost, valid for a day; writes
// the certificate in PEM to certout unless it is empty, so clients can trust it. Throws
// std::runtime_error.
SSL_CTX* tlsserverselfsigned(const std::string& certout);
