#pragma once
// TTlsLayer: TLS over one connected TWSocket, between the socket (bytes and readiness) and the
// HTTP client (plain bytes). The handshake runs on the socket's own event loop, non-blocking:
// each step does what the bytes at hand allow and says whether it must wait for more.
//
// Records are read through a BIO of ours over the socket's Receive (recvmsg), so the kernel's
// receive stamps still arrive; records to send are collected during an OpenSSL call and handed
// to the socket's Send after it returns, so no socket event ever runs inside OpenSSL. The socket
// buffers whatever it is given, so the layer never waits to write: a step waits only for bytes
// to read, and the socket's read watch, which is always on while connected, brings them.
//
// A layer carries one connection and is dropped with it. No call throws except Write, which
// passes on the socket's exceptions of Send.

#include <openssl/types.h>

#include <cstdint>
#include <string>

#include "net/TlsContext.h"

class TWSocket;

class TTlsLayer {
 public:
  // Socket codes of TLS failures: a handshake or record the peer got wrong (or a server that
  // does not speak TLS at all), and a certificate that is not accepted.
  static constexpr uint16_t ProtocolError = 10120;
  static constexpr uint16_t VerifyError = 10121;

  enum TStep { tlsDone, tlsWaiting, tlsFailed };

  // host: the URL's host, which the certificate must name; sent as SNI unless it is an IP
  // address. The context must outlive the layer. session (optional, with a context that
  // resumes): offered when it came from the same host, and replaced by each one the server
  // gives; it must outlive the layer too.
  TTlsLayer(const TTlsContext& context, TWSocket& socket, const std::string& host,
            TTlsSession* session = nullptr);
  ~TTlsLayer();
  TTlsLayer(const TTlsLayer&) = delete;
  TTlsLayer& operator=(const TTlsLayer&) = delete;

  // One handshake step: tlsDone once established, tlsWaiting for more bytes from the server (or
  // for the socket to report the close that ended them), tlsFailed with Error() and Reason()
  // set.
  TStep Handshake();
  bool Established() const { return established_; }

  // Decrypts into buffer: the count of plain bytes (> 0); 0 at the end of the stream (the
  // server's close_notify, or its close); -1 when more bytes must arrive (LastError 10035) or
  // after a failure: a socket error stays the socket's to report (Error() 0), a TLS one sets
  // Error() and Reason().
  int Read(char* buffer, int size);
  // Encrypts and hands the records to the socket's Send: false after a TLS failure (Error()).
  bool Write(const char* data, int len);

  // Kernel receive stamp (CLOCK_REALTIME ns) of the latest socket read that brought bytes; 0
  // when it came without one.
  int64_t LastRxStamp() const { return lastrxstamp_; }
  uint16_t Error() const { return error_; }
  // The cause in words: "certificate verify failed: self-signed certificate in certificate
  // chain", "wrong version number", ...
  const std::string& Reason() const { return reason_; }
  // "TLSv1.3" and the like once established.
  std::string Version() const;
  // The handshake resumed an earlier session rather than making a new one.
  bool Resumed() const;

  // The context's new-session callback: hands the session to the connection's TTlsSession.
  static int NewSession(SSL* ssl, SSL_SESSION* session);

  // The BIO's side, called by OpenSSL.
  int BioRead(char* buffer, int size);
  int BioWrite(const char* data, int len);
  bool BioEof() const { return eof_; }

 private:
  // Sets Error() and Reason() from OpenSSL's answer ret of a call that failed.
  void failed(int ret, const char* during);
  void flush();

  SSL* ssl_ = nullptr;
  TWSocket& socket_;
  TTlsSession* session_ = nullptr;
  std::string host_;  // whose sessions session_ keeps (only with one)
  std::string out_;   // records OpenSSL wrote during the current call
  std::string reason_;
  int64_t lastrxstamp_ = 0;
  int sockerror_ = 0;  // the socket's error of the last read, 0 when none
  uint16_t error_ = 0;
  bool established_ = false;
  bool eof_ = false;
};
