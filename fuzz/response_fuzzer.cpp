// Arbitrary response bytes, cut into arbitrary reads, through the client's receive path without
// a network. The first bytes choose the read sizes; the rest is the response. Whatever arrives,
// the client must not crash, must keep its memory bounded and must account for every document
// byte it delivers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/HttpProt.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

class TFuzzClient : public THttpCli {
 public:
  explicit TFuzzClient(TEventLoop& loop) : THttpCli(loop) {}
  using THttpCli::ExpectResponse;
  using THttpCli::ResponseClosed;
  // One read of at most len bytes from data; returns the bytes taken.
  int Read(const uint8_t* data, int len) {
    int taken = 0;
    ReadResponse([&](char* to, int room) {
      taken = std::min(room, len);
      std::memcpy(to, data, size_t(taken));
      return taken;
    });
    return taken;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TEventLoop loop;
  if (size < 2) return 0;
  {
    TFuzzClient cli(loop);
    cli.URL = "http://127.0.0.1/doc.exe";
    cli.DocumentName = "doc.exe";
    TMemoryStream copy;
    cli.ResponseStream = &copy;
    int64_t delivered = 0;
    cli.OnDocData = [&](THttpCli*, const char* buffer, int len) {
      check(len >= 0 && len <= TReceiveBuffer::Capacity && buffer[len] == 0);
      delivered += len;
    };
    cli.OnHeaderData = [&](THttpCli* c) { check(c->LastLine.find('\n') == std::string::npos); };
    cli.ExpectResponse(data[0] % 2 == 0 ? rqGet : rqPost);

    // Read sizes cycle through a small pattern taken from the second byte.
    uint8_t pattern = data[1];
    const uint8_t* body = data + 2;
    size_t left = size - 2;
    int round = 0;
    try {
      while (left > 0) {
        int want = 1 + ((pattern >> (round % 4 * 2)) & 3) * 700 + round % 13;
        ++round;
        int taken = cli.Read(body, int(std::min<size_t>(left, size_t(want))));
        if (taken <= 0) break;
        body += taken;
        left -= size_t(taken);
      }
    } catch (const EHttpException& e) {
      check(e.ErrorCode == 4);
    }
    cli.ResponseClosed();
    check(delivered == cli.BytesReceived);
    check(copy.Size() == delivered);
    size_t stored = 0;
    for (const auto& h : cli.ResponseHeaders) stored += h.size();
    for (const auto& h : cli.AuthChallenges) stored += h.size();
    check(stored <= THttpCli::MaxStoredHeaderBytes);
  }
  // The client's notices were dropped with it; this clears them from the queue without running
  // anything that could reach the network.
  loop.RunOnce(false);
  return 0;
}
