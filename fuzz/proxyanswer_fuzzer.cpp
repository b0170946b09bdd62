// A proxy's answer to CONNECT, in pieces of any size: the reader never reads past what it was
// given, stops at the first empty line, and opens the tunnel for a 2xx status line alone.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/ProxyTunnel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte sets the size of the pieces the rest arrives in.
  const size_t piece = size_t(data[0] % 64) + 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t total = size - 1;
  TProxyTunnel tunnel;
  TProxyTunnel::TStep step = TProxyTunnel::ptWaiting;
  size_t at = 0;
  while (at < total && step == TProxyTunnel::ptWaiting) {
    const size_t n = total - at < piece ? total - at : piece;
    step = tunnel.Take(bytes + at, n);
    if (step != TProxyTunnel::ptWaiting && tunnel.Extra() > n) std::abort();
    at += n;
  }
  if (step == TProxyTunnel::ptWaiting && total > TProxyTunnel::MaxAnswerBytes + piece) {
    std::abort();  // an answer without end must be refused once it is too long
  }
  if (step == TProxyTunnel::ptOpen || step == TProxyTunnel::ptRefused) {
    const int status = tunnel.Status();
    if (status < 0 || status > 999) std::abort();
    if ((step == TProxyTunnel::ptOpen) != (status >= 200 && status <= 299)) std::abort();
    for (char c : tunnel.StatusText()) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) std::abort();
    }
  }
  if (step == TProxyTunnel::ptBad && tunnel.Problem().empty()) std::abort();
  // Once over, the answer stays as it was.
  if (step != TProxyTunnel::ptWaiting && tunnel.Take("x", 1) != step) std::abort();
  return 0;
}
