// The response parser alone: bytes in reads of any size, the pieces it hands out, the cost a
// header may have and what the close makes of the response.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "http/ResponseParser.h"

using namespace std::string_literals;
using P = TResponseParser;

namespace {

// A consumer as the client is one: header pieces in words, document bytes joined, the body
// started at the header's end.
struct TReader {
  P parser;
  bool head = false;
  int status = 0;
  std::string line;
  std::vector<std::string> pieces;
  std::string body;

  TReader() { parser.newrequest(); }

  // Every byte, in as many reads as the room asks for.
  void read(const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
      int room = 0;
      char* to = parser.room(room);
      ASSERT_NE(to, nullptr);
      const size_t n = std::min(size_t(room), bytes.size() - at);
      std::memcpy(to, bytes.data() + at, n);
      parser.commit(int(n));
      at += n;
      drain();
    }
  }
  void feed(const std::string& bytes, size_t step) {
    for (size_t at = 0; at < bytes.size(); at += step) read(bytes.substr(at, step));
  }
  void drain() {
    for (P::TPiece piece = parser.next(line); piece != P::pNone; piece = parser.next(line)) {
      take(piece);
    }
  }
  void take(P::TPiece piece) {
    switch (piece) {
      case P::pStatus:
        status = parser.status();
        pieces.push_back("status " + std::to_string(status) + " " + std::string(parser.reason()));
        break;
      case P::pField:
        pieces.push_back("field " + std::to_string(parser.field()) + " " +
                         std::string(parser.field() == P::tOther ? line : parser.value()));
        break;
      case P::pLine:
        pieces.push_back("line " + line);
        break;
      case P::pBadNumber:
        pieces.push_back("bad " + line);
        break;
      case P::pHeaderEnd:
        pieces.push_back("end");
        parser.startbody(head, status);
        break;
      case P::pDocument:
        pieces.push_back("document");
        deliver(line);
        break;
      case P::pDocLine:
        pieces.push_back("docline");
        deliver(line);
        break;
      case P::pBody: {
        char chunk[P::MaxLine + 1];
        const int n = parser.takebody(chunk);
        EXPECT_EQ(chunk[n], 0);
        deliver(std::string(chunk, size_t(n)));
        break;
      }
      case P::pNone:
        break;
    }
  }
  void deliver(const std::string& bytes) {
    body += bytes;
    parser.counted(int64_t(bytes.size()));
  }
  // The close as the server makes it: the error and its reason.
  std::pair<uint16_t, std::string> close(uint16_t reset = 0) {
    take(parser.closingdocument(line));
    std::string reason;
    const uint16_t error = parser.closed(reset, reason);
    return {error, reason};
  }
};

const std::string response =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/html\r\n"
    "Content-Length: 11\r\n"
    "Location: /next\r\n"
    "WWW-Authenticate: Basic realm=\"x\"\r\n"
    "X-Other: kept\r\n"
    "\r\n"
    "hello\0world"s;

const std::vector<std::string> responsepieces = {"status 200 OK",
                                                 "field 3 text/html",
                                                 "field 2 11",
                                                 "field 1 /next",
                                                 "field 4 Basic realm=\"x\"",
                                                 "field 0 X-Other: kept",
                                                 "end"};

}  // namespace

TEST(ResponseParser, EveryCutIntoTwoReadsAndSingleBytesGiveTheSamePieces) {
  const std::vector<std::string>& expected = responsepieces;
  for (size_t cut = 0; cut <= response.size(); ++cut) {
    TReader r;
    r.read(response.substr(0, cut));
    r.read(response.substr(cut));
    EXPECT_EQ(r.pieces, expected) << cut;
    EXPECT_EQ(r.body, "hello\0world"s) << cut;
    EXPECT_EQ(r.parser.contentlength(), 11);
    EXPECT_EQ(r.close(), (std::pair<uint16_t, std::string>{0, ""})) << cut;
  }
  TReader bytes;
  bytes.feed(response, 1);
  EXPECT_EQ(bytes.pieces, expected);
  EXPECT_EQ(bytes.body, "hello\0world"s);
}

TEST(ResponseParser, BareLineFeedsEndLinesAsCarriageReturnLineFeedsDo) {
  TReader r;
  r.read("HTTP/1.0 302 Found\nlocation:/a\r\nno colon\n\nbody");
  EXPECT_EQ(r.pieces,
            (std::vector<std::string>{"status 302 Found", "field 1 /a", "line no colon", "end"}));
  EXPECT_EQ(r.body, "body");
}

TEST(ResponseParser, NumbersThatAreNoNumbersAreKeptButNotRead) {
  TReader r;
  r.read("HTTP/1.0 2x0 Odd\r\nContent-Length: 12a\r\nContent-Length: 3\r\n\r\n");
  EXPECT_EQ(r.pieces, (std::vector<std::string>{"bad HTTP/1.0 2x0 Odd", "bad Content-Length: 12a",
                                                "field 2 3", "end"}));
  EXPECT_EQ(r.parser.contentlength(), 3);
}

TEST(ResponseParser, TheCloseEndsTheResponseOnlyWhereItMay) {
  struct TCase {
    std::string bytes;
    bool head;
    uint16_t reset, error;
    std::string reason;
  };
  const TCase cases[] = {
      // Nothing came: no response to cut.
      {"", false, 0, 0, ""},
      {"", false, 10054, 10054, "Connection reset by peer (Error #10054)"},
      {"HTTP/1.0 2", false, 0, P::HeaderCutError, "Connection closed before the end of the header"},
      {"HTTP/1.0 200 OK\r\n", false, 0, P::HeaderCutError,
       "Connection closed before the end of the header"},
      // Without a length the close ends the body; a reset fails it.
      {"HTTP/1.0 200 OK\r\n\r\npart", false, 0, 0, ""},
      {"HTTP/1.0 200 OK\r\n\r\npart", false, 10054, 10054,
       "Connection reset by peer (Error #10054)"},
      // With one the body must reach it, and a reset after it is no failure.
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\npart", false, 0, P::ShortBodyError,
       "Connection closed after 4 of 5 bytes of the body"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", false, 0, P::ShortBodyError,
       "Connection closed after 0 of 5 bytes of the body"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\npart", false, 10054, 0, ""},
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\npart and more", false, 0, 0, ""},
      {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", false, 0, 0, ""},
      // No body follows these, whatever length they announce.
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", true, 0, 0, ""},
      {"HTTP/1.0 204 No Content\r\nContent-Length: 5\r\n\r\n", false, 0, 0, ""},
      {"HTTP/1.0 304 Not Modified\r\nContent-Length: 5\r\n\r\n", false, 0, 0, ""},
      {"HTTP/1.0 100 Continue\r\nContent-Length: 5\r\n\r\n", false, 0, 0, ""},
      // A header-less document ends with the close, even in its first line.
      {"<html>no header", false, 0, 0, ""},
      {"<html>no header", false, 10054, 10054, "Connection reset by peer (Error #10054)"},
  };
  for (const TCase& c : cases) {
    TReader r;
    r.head = c.head;
    if (!c.bytes.empty()) r.read(c.bytes);
    const auto [error, reason] = r.close(c.reset);
    EXPECT_EQ(error, c.error) << c.bytes << " / " << c.reset;
    EXPECT_EQ(reason, c.reason) << c.bytes << " / " << c.reset;
  }
}

TEST(ResponseParser, TheLengthOfAResponseDoesNotCarryIntoTheNextConnection) {
  TReader r;
  r.read("HTTP/1.0 302 Found\r\nContent-Length: 50\r\nLocation: /a\r\n\r\n");
  r.parser.begin();
  r.status = 0;
  r.read("HTTP/1.0 200 OK\r\n\r\nshort");
  EXPECT_EQ(r.parser.contentlength(), -1);
  EXPECT_EQ(r.close().first, 0);
}

TEST(ResponseParser, AHeaderlessDocumentGivesItsLinesThenChunks) {
  TReader r;
  r.read("<HtMl><body>first\r\nsecond\nthird without end");
  EXPECT_EQ(r.pieces, (std::vector<std::string>{"document", "docline"}));
  EXPECT_EQ(r.body, "<HtMl><body>firstsecond");
  r.read(" and more\r\nraw");
  // The unfinished line and the next read come as one chunk, line ends and all.
  EXPECT_EQ(r.body, "<HtMl><body>firstsecondthird without end and more\r\nraw");
  EXPECT_TRUE(r.parser.direct());
  EXPECT_EQ(r.close().first, 0);
}

TEST(ResponseParser, AHeaderlessDocumentEndingInItsFirstLineIsTakenAtTheClose) {
  TReader r;
  r.read("<HTML>short");
  EXPECT_TRUE(r.pieces.empty());
  EXPECT_EQ(r.close().first, 0);
  EXPECT_EQ(r.pieces, std::vector<std::string>{"document"});
  EXPECT_EQ(r.body, "<HTML>short");
}

TEST(ResponseParser, ALineLongerThanTheBufferIsCutAndTheResponseGoesOn) {
  for (size_t step : {size_t(1000), size_t(4096), size_t(8192)}) {
    TReader r;
    r.feed("HTTP/1.0 200 OK\r\nLocation: /" + std::string(9000, 'a') + "\r\nX: y\r\n\r\nbody",
           step);
    ASSERT_EQ(r.pieces.size(), 4u) << step;
    EXPECT_EQ(r.pieces[1].substr(0, 10), "field 1 /a") << step;
    // The location's kept part only: the note behind it is no part of its value.
    EXPECT_EQ(r.pieces[1].size(), std::string("field 1 ").size() + P::MaxLine - 10) << step;
    EXPECT_EQ(r.pieces[2], "field 0 X: y");
    EXPECT_EQ(r.body, "body");
    EXPECT_EQ(r.close().first, 0);
  }
  // Seen in the line itself: what was kept, and the note.
  TReader cut;
  cut.feed("X-Long: " + std::string(8200, 'b') + "\r\n", 8192);
  EXPECT_EQ(cut.line.size(),
            size_t(P::MaxLine) + std::string(" (line of 8208 bytes cut to 8192)").size());
  EXPECT_EQ(cut.line.substr(P::MaxLine), " (line of 8208 bytes cut to 8192)");
}

TEST(ResponseParser, ALineThatJustFillsTheBufferIsNotCut) {
  TReader r;
  const std::string line = "X-Full: " + std::string(P::MaxLine - 9, 'c') + "\r";
  ASSERT_EQ(line.size(), size_t(P::MaxLine));
  r.read(line);
  r.read("\n\r\n");
  EXPECT_EQ(r.line, "");
  ASSERT_EQ(r.pieces.size(), 2u);
  EXPECT_EQ(r.pieces[0], "field 0 " + line.substr(0, line.size() - 1));
  EXPECT_EQ(r.parser.cutkept(), std::string::npos);
}

TEST(ResponseParser, AZeroByteHidesTheRestOfTheHeaderUntilTheBufferIsFull) {
  TReader r;
  r.read("HTTP/1.0 200 OK\r\nX-A: b\0c\r\n\r\nbody"s);
  EXPECT_EQ(r.pieces, std::vector<std::string>{"status 200 OK"});
  r.read(std::string(size_t(P::MaxLine) - r.parser.buffered(), 'x'));
  // Cut at the zero byte, the rest dropped up to its line end: the lines behind it are read.
  EXPECT_EQ(r.pieces, (std::vector<std::string>{
                          "status 200 OK", "field 0 X-A: b (line of 8 bytes cut to 6)", "end"}));
  EXPECT_EQ(r.body.substr(0, 6), "bodyxx");
}

TEST(ResponseParser, KeptHeaderBytesAreBoundedAndTheFirstRefusalIsSaid) {
  P parser;
  parser.newrequest();
  EXPECT_EQ(parser.keep(P::MaxKeptBytes - 200, 8), P::kKeep);
  EXPECT_EQ(parser.keep(100, 8), P::kDropFirst);
  EXPECT_EQ(parser.keep(100, 8), P::kDrop);
  EXPECT_EQ(parser.keep(1, 0), P::kKeep);  // a short one still fits
  // A new connection of the same request keeps counting; a new request starts afresh.
  parser.begin();
  EXPECT_EQ(parser.keep(100, 8), P::kDrop);
  parser.newrequest();
  EXPECT_EQ(parser.keep(100, 8), P::kKeep);
}

TEST(ResponseParser, ABufferFullOfBytesThatNoLineSplitsStopsTheReading) {
  P parser;
  parser.newrequest();
  parser.startbody(false, 200);  // a body phase that no one takes from
  int room = 0;
  char* at = parser.room(room);
  ASSERT_EQ(room, P::MaxLine);
  std::memset(at, 'z', size_t(room));
  parser.commit(room);
  EXPECT_EQ(parser.room(room), nullptr);
  EXPECT_TRUE(parser.overflowed());
  parser.newrequest();
  EXPECT_FALSE(parser.overflowed());
}
