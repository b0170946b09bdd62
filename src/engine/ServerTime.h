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
// sampled for the run. The departure is the moment the request's final send returned (see
// TWSocket::LastSendDone): a kernel transmit stamp would arrive on the socket's error queue,
// which costs a wake-up and a read per request and reads as a failed socket on our edge-triggered
// watches; on loopback and local links the segment is handed on inside the send call, so the
// return lags the departure by microseconds. That lag can exceed a server's time that is itself
// a few microseconds: such an answer counts 0. One stamped before the send call even began (a
// stepped wall clock) is no time.
TServerTime servertime(const THttpCli::TWireTimes& w, int64_t offsetns);
