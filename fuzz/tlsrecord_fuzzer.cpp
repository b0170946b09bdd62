// Arbitrary bytes as the server's side of a TLS connection, read by the client's TLS layer through
// its own BIO over a real (local) socket. The first byte chooses how the bytes are cut into
// arrivals. Whatever arrives, the layer must not crash, must end every failure with an error and
// a cause in words, and must never report more plain bytes than arrived.

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/TlsLayer.h"
#include "net/WSocket.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TEventLoop loop;
  // Nothing checked: certificates are not what this reads.
  static TTlsContext context(TTlsOptions{"", true});
  if (size < 1 || size > 60000) return 0;
  const size_t cut = 1 + size_t(data[0]) * 64;
  ++data;
  --size;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair) != 0) return 0;
  {
    TWSocket socket(loop);
    socket.Dup(pair[0]);
    TTlsLayer tls(context, socket, "localhost");
    size_t sent = 0;
    int64_t plain = 0;
    bool ended = false;
    while (!ended) {
      const size_t n = std::min(cut, size - sent);
      if (n > 0) {
        const ssize_t w = write(pair[1], data + sent, n);
        if (w > 0) sent += size_t(w);
      }
      if (sent == size) shutdown(pair[1], SHUT_WR);
      if (!tls.Established()) {
        const TTlsLayer::TStep step = tls.Handshake();
        if (step == TTlsLayer::tlsFailed) {
          check(tls.Error() != 0 && !tls.Reason().empty());
          ended = true;
        } else if (step == TTlsLayer::tlsWaiting && sent == size && n == 0) {
          ended = true;  // everything arrived and the handshake still waits: a server's stall
        }
        continue;
      }
      char buffer[16384];
      const int got = tls.Read(buffer, sizeof buffer);
      if (got > 0) plain += got;
      if (got == 0 || (got < 0 && tls.Error() != 0)) ended = true;
      if (got < 0 && tls.Error() == 0 && sent == size && n == 0) ended = true;
    }
    check(plain <= int64_t(size));
  }
  close(pair[1]);
  return 0;
}
