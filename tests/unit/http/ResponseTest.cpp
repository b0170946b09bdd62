// The client's receive path driven directly with byte sequences cut into arbitrary reads; no
// network is involved (closing the socket of a client that never connected does nothing).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "HttpEventLog.h"
#include "ResponseProbe.h"
#include "http/HttpProt.h"

using namespace std::string_literals;

namespace {

struct ResponseTest : ::testing::Test {
  TEventLoop loop;
  std::unique_ptr<TProbe> cli = std::make_unique<TProbe>(loop);
  THttpEventLog log;

  void SetUp() override {
    cli->URL = "http://127.0.0.1/index.htm";
    cli->ExpectResponse(rqGet);
    log.Attach(*cli);
    cli->Log = &log.Events;
  }
  // Delivers the posted notices.
  void drain() {
    cli->ResponseClosed();
    loop.Run();
  }
};

const std::string simple =
    "HTTP/1.0 200 OK\r\n"
    "Content-Type: Text/HTML\r\n"
    "Content-Length: 11\r\n"
    "X-Other: kept\r\n"
    "\r\n"
    "hello\0world"s;

TEST_F(ResponseTest, SameResultForEveryReadSize) {
  for (size_t step : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(16), simple.size()}) {
    TEventLoop l;
    TProbe c(l);
    THttpEventLog e;
    c.ExpectResponse(rqGet);
    e.Attach(c);
    c.Feed(simple, step);
    c.ResponseClosed();
    l.Run();
    EXPECT_EQ(c.StatusCode, 200) << step;
    EXPECT_EQ(c.ReasonPhrase, "OK");
    EXPECT_EQ(c.ContentType, "text/html");
    EXPECT_EQ(c.ContentLength, 11);
    EXPECT_EQ(c.ResponseHeaders,
              (std::vector<std::string>{"HTTP/1.0 200 OK", "Content-Type: Text/HTML",
                                        "Content-Length: 11", "X-Other: kept"}));
    EXPECT_EQ(e.Doc, "hello\0world"s) << step;
    EXPECT_EQ(c.BytesReceived, 11);
    EXPECT_EQ(e.Events, (std::vector<std::string>{
                            "HeaderBegin", "HeaderData HTTP/1.0 200 OK",
                            "HeaderData Content-Type: Text/HTML", "HeaderData Content-Length: 11",
                            "HeaderData X-Other: kept", "State hsWaitingBody", "HeaderEnd",
                            "DocBegin", "DocData", "DocEnd", "State hsReady", "RequestDone 1 0"}))
        << step;
    EXPECT_EQ(e.Done, 1);
  }
}

TEST_F(ResponseTest, HeaderAndFirstBodyBytesInOneReadGiveOneChunk) {
  TMemoryStream copy;
  cli->ResponseStream = &copy;
  std::vector<std::pair<std::string, char>> chunks;  // bytes and the byte behind them
  cli->OnDocData = [&](THttpCli*, const char* b, int n) {
    chunks.emplace_back(std::string(b, size_t(n)), b[n]);
  };
  cli->Read(simple);
  cli->Read("more");
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].first, "hello\0world"s);
  EXPECT_EQ(chunks[0].second, 0);
  EXPECT_EQ(chunks[1].first, "more");
  EXPECT_EQ(chunks[1].second, 0);
  // Document bytes go to the handler straight from the receive buffer: LastLine keeps the last
  // header line, the empty one that ended the header.
  EXPECT_EQ(cli->LastLine, "");
  EXPECT_EQ(copy.Data(), "hello\0worldmore"s);
}

// The chunk that came with the header is lent from the receive buffer. A handler may end the
// request and start the next one before it is done with the chunk: the new request's use of the
// buffer must not change the bytes the handler still holds.
TEST_F(ResponseTest, ALentChunkSurvivesANewRequestStartedByItsHandler) {
  std::string before, after;
  cli->OnDocData = [&](THttpCli* c, const char* b, int n) {
    if (!before.empty()) return;
    before.assign(b, size_t(n + 1));  // with the zero byte behind
    c->Abort();
    c->URL = "http://127.0.0.1:1/next";  // a closed port on this machine
    auto* p = static_cast<TProbe*>(c);
    p->ExpectResponse(rqGet);
    p->Read("HTTP/1.0 200 OK\r\nX-Overwrite: " + std::string(200, 'x'));
    after.assign(b, size_t(n + 1));
  };
  cli->Read(simple);
  EXPECT_EQ(before, "hello\0world\0"s);
  EXPECT_EQ(after, before);
}

TEST_F(ResponseTest, OnlyHeadersGiveNoDocumentEvents) {
  cli->Read("HTTP/1.1 204 No Content\r\nServer: x\r\n\r\n");
  drain();
  EXPECT_EQ(log.Events,
            (std::vector<std::string>{"HeaderBegin", "HeaderData HTTP/1.1 204 No Content",
                                      "HeaderData Server: x", "State hsWaitingBody", "HeaderEnd",
                                      "State hsReady", "RequestDone 1 0"}));
  EXPECT_EQ(cli->StatusCode, 204);
  EXPECT_EQ(cli->ReasonPhrase, "No Content");
}

TEST_F(ResponseTest, HeaderlessDocument) {
  cli->Read("<HtMl><body>first\r\nsecond\nthird without end");
  EXPECT_EQ(cli->StatusCode, 0);
  EXPECT_EQ(cli->ContentType, "text/html");
  EXPECT_TRUE(cli->ResponseHeaders.empty());
  cli->Read(" and more\r\nraw");
  drain();
  EXPECT_EQ(log.Events,
            (std::vector<std::string>{"HeaderBegin", "State hsWaitingBody", "HeaderEnd", "DocBegin",
                                      "DocData", "DocEnd", "State hsReady", "RequestDone 1 0"}));
  // Complete lines lose their line ends; later reads arrive as they came.
  EXPECT_EQ(log.Doc, "<HtMl><body>firstsecondthird without end and more\r\nraw");
  EXPECT_EQ(log.DocChunks, 3);
}

TEST_F(ResponseTest, HeaderlessUnfinishedLastLineIsDeliveredAtTheClose) {
  cli->Read("<html>one\r\ntwo\r\n</html>");
  drain();
  EXPECT_EQ(log.Doc, "<html>onetwo</html>");
  EXPECT_EQ(cli->BytesReceived, 19);
}

TEST_F(ResponseTest, ContentTypeBlanksAndExeRename) {
  for (const char* line :
       {"Content-Type:text/html", "Content-Type:  text/html", "content-type:\tTEXT/HTML"}) {
    TEventLoop l;
    TProbe c(l);
    c.URL = "http://h/doc.exe";
    c.DocumentName = "doc.exe";
    c.ExpectResponse(rqGet);
    c.Read("HTTP/1.0 200 OK\r\n"s + line + "\r\n\r\n");
    EXPECT_EQ(c.ContentType, "text/html") << line;
    EXPECT_EQ(c.DocumentName, "doc.htm") << line;
  }
  TEventLoop l;
  TProbe c(l);
  c.DocumentName = "doc.exe";
  c.ExpectResponse(rqGet);
  c.Read("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=x\r\n\r\n");
  EXPECT_EQ(c.DocumentName, "doc.exe");  // only exactly text/html renames
}

TEST_F(ResponseTest, NonNumericValuesDropTheirLineOnly) {
  cli->Read(
      "HTTP/1.0 abc OK\r\nContent-Length: 12x\r\nContent-Length: 5 \r\nContent-Type: "
      "text/plain\r\n\r\nbody");
  EXPECT_EQ(cli->StatusCode, 0);
  EXPECT_EQ(cli->ReasonPhrase, "");
  EXPECT_EQ(cli->ContentLength, -1);
  EXPECT_EQ(cli->ContentType, "text/plain");
  EXPECT_EQ(cli->ResponseHeaders.size(), 4u);  // kept, but no OnHeaderData for them
  EXPECT_EQ(log.Events,
            (std::vector<std::string>{"HeaderBegin", "HeaderData Content-Type: text/plain",
                                      "State hsWaitingBody", "HeaderEnd", "DocBegin", "DocData"}));
  EXPECT_EQ(log.Doc, "body");
}

TEST_F(ResponseTest, ErrorStatusClosesAndKeepsWhatArrivedWithTheHeader) {
  cli->Read("HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nstatus 404\n");
  EXPECT_EQ(cli->StatusCode, 404);
  EXPECT_EQ(cli->Closes, 2);  // after each header line once the status is known
  EXPECT_EQ(log.Doc, "status 404\n");
  EXPECT_EQ(log.Events[2], "Close");
}

TEST_F(ResponseTest, RelocationDropsTheBodyAndChangesTheTarget) {
  cli->ConnectHost = "127.0.0.1";
  cli->ConnectPort = "8080";
  cli->TargetHost = "127.0.0.1";
  cli->RequestTarget = "/old";
  cli->ResponseHeaders.push_back("earlier");
  cli->Read("HTTP/1.0 302 Found\r\nLocation: /next\r\n\r\nbody that is dropped");
  EXPECT_EQ(cli->RequestTarget, "/next");
  EXPECT_EQ(cli->Location, "/next");
  EXPECT_EQ(cli->ConnectPort, "8080");
  cli->ResponseClosed();  // the close the socket reports
  EXPECT_EQ(log.Events, (std::vector<std::string>{"HeaderBegin", "HeaderData HTTP/1.0 302 Found",
                                                  "HeaderData Location: /next", "HeaderEnd",
                                                  "Close", "LocationChange"}));
  EXPECT_TRUE(log.Doc.empty());
  EXPECT_EQ(cli->StatusCode, 302);
  EXPECT_EQ(cli->State(), hsWaitingHeader);
  // The reconnect waits as a notice; the client goes away before it runs.
  EXPECT_EQ(loop.PendingNotices(), 1u);
  cli.reset();
  EXPECT_EQ(loop.PendingNotices(), 0u);
}

TEST_F(ResponseTest, ZeroByteInTheHeaderEndsAsALineTooLong) {
  cli->Read("HTTP/1.0 200 OK\r\nX-A: b\0c\r\nContent-Type: text/html\r\n\r\nbody"s);
  EXPECT_EQ(cli->ResponseHeaders, std::vector<std::string>{"HTTP/1.0 200 OK"});
  // Once the buffer is full the hidden line is cut at its zero byte, as a line too long is, and
  // the lines behind it are read.
  cli->Read(std::string(TReceiveBuffer::Capacity, 'x'));
  cli->Read("y");
  drain();
  EXPECT_EQ(cli->StatusCode, 200);
  EXPECT_EQ(log.Error, 0);
  EXPECT_EQ(cli->ResponseHeaders,
            (std::vector<std::string>{"HTTP/1.0 200 OK", "X-A: b (line of 8 bytes cut to 6)",
                                      "Content-Type: text/html"}));
  EXPECT_EQ(log.Doc.substr(0, 6), "bodyxx");
  EXPECT_EQ(log.Done, 1);
}

TEST(ResponseEnd, OnlyACompleteHeaderMakesTheCloseTheEndOfTheResponse) {
  struct TCase {
    std::string bytes;
    uint16_t reset;  // the socket's error at the close
    int status;
    uint16_t error;
  };
  const TCase cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Ty", 10054, 404, 10054},
      {"HTTP/1.0 200 OK\r\nContent-Ty", 0, 404, 10101},
      {"HTTP/1.0 200 OK\r\n", 0, 404, 10101},
      {"HTTP/1.0 2", 0, 404, 10101},
      {"", 10054, 404, 10054},
      // Nothing at all and a plain close: the time-out of status 0, as before.
      {"", 0, 0, 0},
      {"HTTP/1.0 200 OK\r\n\r\n", 0, 200, 0},
      {"HTTP/1.0 503 Busy\r\n\r\n", 0, 503, 0},
      // After a complete header a plain close ends the document; a reset is a failure.
      {"HTTP/1.0 200 OK\r\n\r\npart", 0, 200, 0},
      {"HTTP/1.0 200 OK\r\n\r\npart", 10054, 404, 10054},
      {"<html>no header", 0, 0, 0},
      {"<html>no header", 10054, 404, 10054},
      // With a Content-Length the body must reach it; a reset after it is no failure.
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\npart", 10054, 200, 0},
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\npart and more", 0, 200, 0},
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\npart", 0, 404, THttpCli::ShortBodyError},
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", 0, 404, THttpCli::ShortBodyError},
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\npart", 10054, 404, 10054},
      {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", 0, 200, 0},
      // No body follows these, whatever length they name.
      {"HTTP/1.0 204 No Content\r\nContent-Length: 5\r\n\r\n", 0, 204, 0},
      {"HTTP/1.0 304 Not Modified\r\nContent-Length: 5\r\n\r\n", 0, 304, 0},
      // An error page is closed by the client itself at once: never a short body.
      {"HTTP/1.0 503 Busy\r\nContent-Length: 500\r\n\r\npart", 0, 503, 0},
  };
  for (const TCase& c : cases) {
    TEventLoop loop;
    TProbe cli(loop);
    THttpEventLog log;
    cli.ExpectResponse(rqGet);
    log.Attach(cli);
    cli.Read(c.bytes);
    cli.ResponseClosed(c.reset);
    loop.Run();
    EXPECT_EQ(cli.StatusCode, c.status) << c.bytes << " / " << c.reset;
    EXPECT_EQ(log.Error, c.error) << c.bytes << " / " << c.reset;
    EXPECT_EQ(log.Done, 1);
  }
}

TEST(ResponseEnd, AHeaderlessDocumentEndingInItsFirstLineIsDelivered) {
  TEventLoop loop;
  TProbe cli(loop);
  THttpEventLog log;
  cli.ExpectResponse(rqGet);
  log.Attach(cli);
  cli.Read("<HTML>short");
  cli.ResponseClosed();
  loop.Run();
  EXPECT_EQ(log.Doc, "<HTML>short");
  EXPECT_EQ(log.Error, 0);
  EXPECT_EQ(cli.ContentType, "text/html");
}

TEST_F(ResponseTest, LongLineIsCutWhenTheBufferIsFull) {
  cli->Feed("HTTP/1.0 200 OK\r\nX-Long: " + std::string(8192, 'a'), 4096);
  EXPECT_NO_THROW(cli->Read("a\r\n\r\n"));
  EXPECT_EQ(cli->ResponseHeaders.size(), 2u);
  EXPECT_EQ(cli->State(), hsWaitingBody);
}

TEST_F(ResponseTest, EndlessHeaderLinesStayBounded) {
  std::string line = "X-Filler: " + std::string(90, 'f') + "\r\n";
  int lines = 0;
  cli->OnHeaderData = [&](THttpCli*) { ++lines; };
  for (int i = 0; i < 5000; ++i) cli->Read(line);
  EXPECT_EQ(lines, 5000);
  size_t stored = 0;
  for (const auto& h : cli->ResponseHeaders) stored += h.size() + sizeof(size_t);
  EXPECT_LE(stored, THttpCli::MaxStoredHeaderBytes);
  EXPECT_GT(stored, THttpCli::MaxStoredHeaderBytes - 300);
  // The list says that it ends early, once.
  EXPECT_EQ(cli->ResponseHeaders.back(), THttpCli::HeaderCutNote);
  EXPECT_EQ(std::count(cli->ResponseHeaders.begin(), cli->ResponseHeaders.end(),
                       std::string_view(THttpCli::HeaderCutNote)),
            1);
}

TEST_F(ResponseTest, AuthChallengesAccumulate) {
  cli->Read("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"a\"\r\n");
  EXPECT_EQ(cli->AuthChallenges, std::vector<std::string>{"Basic realm=\"a\""});
}

TEST(ResponseIdle, BytesWithoutARequestAreDropped) {
  TEventLoop loop;
  TProbe cli(loop);
  THttpEventLog log;
  log.Attach(cli);
  cli.Read("HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_TRUE(log.Events.empty());
  EXPECT_EQ(cli.StatusCode, 0);
}

TEST(ResponseDone, ClientMayBeDestroyedInsideOnRequestDone) {
  TEventLoop loop;
  auto* cli = new TProbe(loop);
  int done = 0;
  cli->ExpectResponse(rqGet);
  cli->OnRequestDone = [&](THttpCli* sender, THttpRequest, uint16_t) {
    ++done;
    delete sender;
  };
  cli->Read("HTTP/1.0 200 OK\r\n\r\nx");
  cli->ResponseClosed();
  loop.Run();
  EXPECT_EQ(done, 1);
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
