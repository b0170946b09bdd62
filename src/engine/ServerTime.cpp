#include "engine/ServerTime.h"

namespace {

// A server that answers at once can be stamped while our send call is still returning: its time
// is then below what the clocks can tell apart, 0. An answer stamped before the call began is
// no answer to it (the wall clock was stepped): no time.
long double sincesent(int64_t rx, const THttpCli::TWireTimes& w, int64_t offsetns) {
  const int64_t at = rx - offsetns;
  if (at < w.sendbegan) return -1;
  return at <= w.sent ? 0 : static_cast<long double>(at - w.sent) / 1000000;
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
