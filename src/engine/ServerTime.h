#pragma once
// The server's own time of a request, from the kernel's stamps rather than from our handlers:
// what our start loop and our reading delay add to the user's wait is not in it. Through a proxy
// it covers the proxy and the server behind it.

#include <cstdint>

#include "http/HttpProt.h"

struct TServerTime {
  // Milliseconds from the request's departure to the receive stamp of the response's last byte,
  // and to that of its first read; negative (written as null) where the kernel gave no stamp.
  long double server = -1, ttfb = -1;
};

// The times of one exchange. offsetns is CLOCK_REALTIME minus CLOCK_MONOTONIC (realtimeoffset),
// sampled for the run. The departure is the moment the request's final send call began (see
// TWSocket::LastSendBegan): the last byte leaves inside that call, so a server's time is never
// shown shorter than it was; it may include the call itself, microseconds. A kernel transmit
// stamp would arrive on the socket's error queue, which costs a wake-up and a read per request
// and reads as a failed socket on our edge-triggered watches. One stamped before the send call
// began (a stepped wall clock) is no time.
TServerTime servertime(const THttpCli::TWireTimes& w, int64_t offsetns);

// The connection's phases in milliseconds: connect call to connection up, and the TLS handshake
// (from the connection up, or through a proxy from the tunnel's opening, to its end); -1 where
// there was none (no connection was made; plain HTTP). The CONNECT's own round trip is in
// neither.
void phasetimes(const THttpCli::TWireTimes& w, long double& connect, long double& tls);
