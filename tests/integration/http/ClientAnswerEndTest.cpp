// How an answer ends on a real connection: a close or a reset, before or after the length its
// header announced; and a header too large to keep whole.

#include <gtest/gtest.h>

#include "ClientSession.h"
#include "RawServer.h"

namespace {

struct TEndCase {
  std::string name, bytes;
  bool reset;
  int status;
  uint16_t error;
  int64_t body;
};

TEST(ClientAnswerEnd, AnAnswerCutShortIsNoSuccess) {
  const std::string promise = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nabc";
  const std::string plain = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nabc";
  const std::string whole = "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc";
  const TEndCase cases[] = {
      {"short body, close", promise, false, 404, THttpCli::ShortBodyError, 3},
      {"short body, reset", promise, true, 404, 10054, -1},
      {"no length, close", plain, false, 200, 0, 3},
      {"no length, reset", plain, true, 404, 10054, -1},
      {"whole body, close", whole, false, 200, 0, 3},
      {"whole body, reset", whole, true, 200, 0, 3},
      // An error page is not read: the client closes it itself.
      {"error page", "HTTP/1.0 500 Oops\r\nContent-Length: 1000\r\n\r\nabc", false, 500, 0, -1},
  };
  for (const TEndCase& c : cases) {
    TRawServer server({{c.bytes, c.reset}});
    TClientSession s;
    s.cli.URL = server.url("/cut");
    s.cli.Get();
    ASSERT_TRUE(s.finish()) << c.name;
    EXPECT_EQ(s.cli.StatusCode, c.status) << c.name;
    EXPECT_EQ(s.log.Error, c.error) << c.name;
    if (c.body >= 0) {
      EXPECT_EQ(s.cli.BytesReceived, c.body) << c.name;
    }
    EXPECT_EQ(s.log.Done, 1) << c.name;
  }
  TRawServer server({{promise, false}});
  TClientSession s;
  s.cli.URL = server.url("/cut");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.ReasonPhrase, "Connection closed after 3 of 1000 bytes of the body");
}

TEST(ClientAnswerEnd, AHugeHeaderIsKeptInPartAndTheAnswerCompletes) {
  std::string answer = "HTTP/1.0 200 OK\r\nX-Long: " + std::string(65536, 'a') + "\r\n";
  for (int i = 0; i < 10000; ++i) answer += "X-Many: " + std::to_string(i) + "\r\n";
  answer += "Content-Length: 5\r\n\r\nhello";
  TRawServer server({{answer, false}});
  TClientSession s;
  s.cli.URL = server.url("/big");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.log.Error, 0);
  EXPECT_EQ(s.log.Doc, "hello");
  ASSERT_GT(s.cli.ResponseHeaders.size(), 2u);
  EXPECT_TRUE(
      std::string(s.cli.ResponseHeaders[1]).ends_with(" (line of 65544 bytes cut to 8192)"));
  EXPECT_EQ(s.cli.ResponseHeaders.back(), THttpCli::HeaderCutNote);
  size_t kept = 0;
  for (std::string_view line : s.cli.ResponseHeaders) kept += line.size();
  EXPECT_LE(kept, THttpCli::MaxStoredHeaderBytes);
}

}  // namespace
