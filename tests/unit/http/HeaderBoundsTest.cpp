// What a client keeps of a header that is too large: a line longer than the receive buffer is cut
// and the response goes on; past a total, lines are parsed but no longer kept.

#include <gtest/gtest.h>

#include "HttpEventLog.h"
#include "ResponseProbe.h"

namespace {

struct TRun {
  TEventLoop loop;
  TProbe cli{loop};
  THttpEventLog log;

  // The whole response in reads of step bytes, then the server's close.
  TRun(const std::string& response, size_t step) {
    cli.URL = "http://127.0.0.1/start";
    cli.ExpectResponse(rqGet);
    log.Attach(cli);
    cli.Stream(response, step);
    cli.ResponseClosed();
    loop.Run();
  }
};

const size_t kSteps[] = {1, 7, 1000, 8192, 100000};

TEST(HeaderBounds, ALongLineIsCutAndTheResponseCompletes) {
  const std::string text(65536, 'a');
  const std::string response =
      "HTTP/1.0 200 OK\r\nX-Long: " + text + "\r\nContent-Length: 5\r\nX-After: 1\r\n\r\nhello";
  const std::string kept = "X-Long: " + text.substr(0, THttpCli::MaxHeaderLine - 8) +
                           " (line of 65544 bytes cut to 8192)";
  for (size_t step : kSteps) {
    TRun r(response, step);
    EXPECT_EQ(r.cli.StatusCode, 200) << step;
    EXPECT_EQ(r.log.Error, 0) << step;
    EXPECT_EQ(r.log.Doc, "hello") << step;
    EXPECT_EQ(r.cli.ContentLength, 5) << step;
    ASSERT_EQ(r.cli.ResponseHeaders.size(), 4u) << step;
    EXPECT_EQ(r.cli.ResponseHeaders[1], kept) << step;
    EXPECT_EQ(r.cli.ResponseHeaders[3], "X-After: 1") << step;
    // The header log (OnHeaderData's LastLine) says so too.
    EXPECT_EQ(std::count(r.log.Events.begin(), r.log.Events.end(), "HeaderData " + kept), 1);
  }
}

TEST(HeaderBounds, ALineThatJustFillsTheBufferIsNotCut) {
  // The line's CR may be the buffer's last byte or the first of the next read.
  for (size_t extra : {0, 1}) {
    const std::string line = "X-Full: " + std::string(THttpCli::MaxHeaderLine - 8 - extra, 'b');
    const std::string response = "HTTP/1.0 200 OK\r\n" + line + "\r\n\r\nbody";
    for (size_t step : kSteps) {
      TRun r(response, step);
      ASSERT_EQ(r.cli.ResponseHeaders.size(), 2u) << step;
      EXPECT_EQ(r.cli.ResponseHeaders[1], line) << step << " " << extra;
      EXPECT_EQ(r.log.Doc, "body");
    }
  }
}

TEST(HeaderBounds, ACutLocationIsNotFollowed) {
  TRun r("HTTP/1.0 302 Found\r\nLocation: /" + std::string(9000, 'p') + "\r\n\r\nmoved", 4096);
  EXPECT_EQ(std::count(r.log.Events.begin(), r.log.Events.end(), "LocationChange"), 0);
  EXPECT_EQ(r.cli.StatusCode, 302);
  EXPECT_EQ(r.cli.RequestTarget, "");
  EXPECT_EQ(r.log.Doc, "moved");
  EXPECT_EQ(r.log.Done, 1);
}

TEST(HeaderBounds, AHeaderlessDocumentLosesNothingOfALongFirstLine) {
  const std::string doc = "<html>" + std::string(20000, 'd') + "\r\nend";
  for (size_t step : kSteps) {
    TRun r(doc, step);
    EXPECT_EQ(r.log.Doc, doc) << step;
    EXPECT_EQ(r.cli.StatusCode, 0);
    EXPECT_EQ(r.log.Error, 0);
    // The same behind a status line: the "<html>" line starts the document.
    TRun late("HTTP/1.0 200 OK\r\n" + doc, step);
    EXPECT_EQ(late.log.Doc, doc) << step;
    EXPECT_EQ(late.cli.StatusCode, 200);
  }
}

TEST(HeaderBounds, ManyLinesAreParsedButKeptOnlyUpToTheBound) {
  std::string response = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; i < 10000; ++i) response += "X-Many: " + std::to_string(i) + "\r\n";
  response += "Content-Length: 2\r\n\r\nok";
  TRun r(response, 1000);
  EXPECT_EQ(r.cli.StatusCode, 200);
  EXPECT_EQ(r.log.Error, 0);
  EXPECT_EQ(r.log.Doc, "ok");
  EXPECT_EQ(r.cli.ContentLength, 2);  // a line after the bound still counts
  EXPECT_EQ(std::count_if(r.log.Events.begin(), r.log.Events.end(),
                          [](const std::string& e) { return e.starts_with("HeaderData "); }),
            10002);
  size_t kept = 0;
  for (std::string_view line : r.cli.ResponseHeaders) kept += line.size() + sizeof(size_t);
  EXPECT_LE(kept, THttpCli::MaxStoredHeaderBytes);
  EXPECT_EQ(r.cli.ResponseHeaders.back(), THttpCli::HeaderCutNote);
}

TEST(HeaderBounds, AnEndlessLineEndsAsACutHeader) {
  // The close comes while the rest of a cut line is dropped: the header never ended.
  TRun r("HTTP/1.0 200 OK\r\nX-Endless: " + std::string(50000, 'e'), 4096);
  EXPECT_EQ(r.cli.StatusCode, 404);
  EXPECT_EQ(r.log.Error, THttpCli::HeaderCutError);
  TRun first(std::string(50000, 'e'), 4096);
  EXPECT_EQ(first.log.Error, THttpCli::HeaderCutError);
}

}  // namespace
