#include "engine/ServerTime.h"

namespace {

// Counted from the moment the final send call began: the request's last byte leaves inside that
// call, so no server can have seen the request earlier. The call's return would be later still,
// and a client preempted inside the call (the server already reading) would show the server
// faster than it was. An answer stamped before the call began is no answer to it (the wall
// clock was stepped): no time.
long double sincesent(int64_t rx, const THttpCli::TWireTimes& w, int64_t offsetns) {
  const int64_t at = rx - offsetns;
  if (at < w.sendbegan) return -1;
  return static_cast<long double>(at - w.sendbegan) / 1000000;
}

}  // namespace

TServerTime servertime(const THttpCli::TWireTimes& w, int64_t offsetns) {
  TServerTime t;
  if (w.unstamped || w.sent == 0 || w.firstrx == 0 || w.lastrx == 0) return t;
  t.server = sincesent(w.lastrx, w, offsetns);
  t.ttfb = sincesent(w.firstrx, w, offsetns);
  if (t.server < 0 || t.ttfb < 0) return TServerTime();
  return t;
}

void phasetimes(const THttpCli::TWireTimes& w, long double& connect, long double& tls) {
  connect = w.connectbegan > 0 && w.connected >= w.connectbegan
                ? static_cast<long double>(w.connected - w.connectbegan) / 1e6L
                : -1;
  tls = w.tlsbegan > 0 && w.tlsdone >= w.tlsbegan
            ? static_cast<long double>(w.tlsdone - w.tlsbegan) / 1e6L
            : -1;
}
