// THttpCli over TLS: the handshake on a new connection of an https target, and the reading of
// its records. The socket keeps bytes and readiness, the TTlsLayer the handshake and the records;
// what the layer decrypts takes the same path as the bytes of a plain connection.

#include "http/HttpProt.h"
#include "net/ErrorCodes.h"

void THttpCli::StartTls() {
  wiretimes_.tlsbegan = MonotonicNs();
  try {
    const TTlsContext& context = TlsContext != nullptr ? *TlsContext : *TTlsContext::Default();
    tls_ = std::make_unique<TTlsLayer>(context, socket_, TargetHost, TlsSession);
  } catch (const std::exception& e) {
    Fail(TTlsLayer::ProtocolError, std::string("TLS handshake failed: ") + e.what());
    CloseConnection();
    return;
  }
  TlsHandshakeStep();
}

void THttpCli::TlsHandshakeStep() {
  switch (tls_->Handshake()) {
    case TTlsLayer::tlsWaiting:
      return;
    case TTlsLayer::tlsFailed:
      TlsFailed("handshake");
      return;
    case TTlsLayer::tlsDone:
      wiretimes_.tlsdone = MonotonicNs();
      wiretimes_.tlsresumed = tls_->Resumed();
      Exchange();
      return;
  }
}

void THttpCli::TlsFailed(const char* during) {
  // The first failure names the request's end; what follows from it (a send on the closed
  // connection) does not.
  if (requesterror_ == 0 && state_ != hsAborting) {
    uint16_t code = tls_->Error();
    std::string reason = tls_->Reason();
    if (code != TTlsLayer::ProtocolError && code != TTlsLayer::VerifyError) {
      // A socket failure in the middle of TLS (a reset) is reported as the TLS failure it
      // caused, with the socket's own words.
      reason = (code != 0 ? ErrorDesc(code) : reason) + " (Error #" + std::to_string(code) + ")";
      code = TTlsLayer::ProtocolError;
    }
    Fail(code, std::string("TLS ") + during + " failed: " + reason);
  }
  CloseConnection();
}

void THttpCli::TlsClosed(uint16_t Error) {
  if (requesterror_ != 0 || selfclosed_ || state_ == hsAborting) return;
  Fail(TTlsLayer::ProtocolError,
       "TLS handshake failed: " +
           (Error != 0 ? ErrorDesc(Error) + " (Error #" + std::to_string(Error) + ")"
                       : std::string("the server closed the connection")));
}

void THttpCli::TlsDataAvailable() {
  if (!tls_->Established()) {
    TlsHandshakeStep();
    // Whatever came after the server's part of the handshake is read now, or never: the
    // socket has been read to its end.
    if (tls_ == nullptr || !tls_->Established() || !Connected || state_ == hsAborting) return;
  }
  TTlsLayer* const tls = tls_.get();
  // Read until the socket has nothing more: records already taken from it are decrypted here,
  // and no readiness would ever report them again.
  for (;;) {
    int count;
    if (parser_.overflowed()) {
      char scratch[1024];
      count = tls->Read(scratch, sizeof scratch);
    } else {
      int room = 0;
      char* at = ReadRoom(room);
      count = tls->Read(at, room);
      if (count > 0) NoteArrival();
      Received(count, room);
    }
    if (count <= 0) {
      if (tls_.get() == tls && tls->Error() != 0) TlsFailed("read");
      return;
    }
    // A handler may have ended the connection (an error page, Abort, a relocation).
    if (tls_.get() != tls || socket_.HSocket() == TWSocket::INVALID_SOCKET) return;
  }
}
