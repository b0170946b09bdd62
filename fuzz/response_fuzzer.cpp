// Arbitrary response bytes, cut into arbitrary reads, through the response parser. The first
// bytes choose the read sizes and the request's kind; the rest is the response. Whatever
// arrives, the parser must not crash or loop, must keep its memory and the kept header bounded,
// must hand out lines without line ends and must account for every document byte it hands out.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/ResponseParser.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// What a client does with the pieces: keeps header lines within the bound, starts the body at
// the header's end and counts every document byte.
struct TConsumer {
  TResponseParser parser;
  bool head = false;
  std::string line;
  size_t kept = 0;
  int64_t delivered = 0;
  int status = 0;

  void deliver(int64_t len) {
    delivered += len;
    parser.counted(len);
  }
  void handle(TResponseParser::TPiece piece) {
    switch (piece) {
      case TResponseParser::pNone:
        return;
      case TResponseParser::pBody: {
        char chunk[TResponseParser::MaxLine + 1];
        const int count = parser.takebody(chunk);
        check(count > 0 && count <= TResponseParser::MaxLine && chunk[count] == 0);
        deliver(count);
        return;
      }
      case TResponseParser::pDocument:
      case TResponseParser::pDocLine:
        deliver(int64_t(line.size()));
        return;
      case TResponseParser::pHeaderEnd:
        parser.startbody(head, status);
        return;
      case TResponseParser::pStatus:
        status = parser.status();
        [[fallthrough]];
      default:
        check(!line.empty() && line.find('\n') == std::string::npos);
        // A cut line keeps at most the buffer's worth, plus the note that says so.
        check(line.size() <= size_t(TResponseParser::MaxLine) + 64);
        if (parser.keep(line.size(), sizeof(size_t)) == TResponseParser::kKeep) {
          kept += line.size() + sizeof(size_t);
        }
        return;
    }
  }
  void drain() {
    for (int guard = 0;; ++guard) {
      check(guard < 100000);
      const TResponseParser::TPiece piece = parser.next(line);
      if (piece == TResponseParser::pNone) return;
      handle(piece);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TConsumer c;
  c.head = data[0] % 3 == 2;
  c.parser.newrequest();
  // Read sizes cycle through a small pattern taken from the second byte.
  const uint8_t pattern = data[1];
  const uint8_t* body = data + 2;
  size_t left = size - 2;
  int round = 0;
  while (left > 0) {
    const int want = 1 + ((pattern >> (round % 4 * 2)) & 3) * 700 + round % 13;
    ++round;
    int room = 0;
    char* at = c.parser.room(room);
    if (at == nullptr) {
      check(c.parser.overflowed());
      break;
    }
    const int taken = std::min({room, want, int(std::min<size_t>(left, 1 << 20))});
    std::memcpy(at, body, size_t(taken));
    c.parser.commit(taken);
    body += taken;
    left -= size_t(taken);
    c.drain();
  }
  c.handle(c.parser.closingdocument(c.line));
  c.drain();
  check(c.parser.inheader() ? c.delivered == 0 : c.delivered == c.parser.bodybytes());
  check(c.kept <= TResponseParser::MaxKeptBytes);
  std::string reason;
  const uint16_t reset = data[0] % 5 == 4 ? 10054 : 0;
  const uint16_t error = c.parser.closed(reset, reason);
  check(error == 0 || !reason.empty());
  check(error == 0 || error == reset || error == TResponseParser::HeaderCutError ||
        error == TResponseParser::ShortBodyError);
  return 0;
}
