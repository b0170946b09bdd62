// The routes of pressbolt-target, spoken to over plain blocking loopback sockets.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

#include "RawClient.h"
#include "support/TargetServer.h"

namespace {

class TargetRoutes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<TTargetServer>(); }
  static void TearDownTestSuite() { server_.reset(); }
  static int port() { return server_->port(); }
  static std::unique_ptr<TTargetServer> server_;
};

std::unique_ptr<TTargetServer> TargetRoutes::server_;

std::string statusline(const TReply& r) {
  return r.Bytes.substr(0, r.Bytes.find("\r\n"));
}

bool printable(const std::string& s) {
  for (char c : s)
    if (c < 0x21 || c > 0x7e) return false;
  return true;
}

TEST_F(TargetRoutes, SizeAnswersExactlyNPrintableBytes) {
  for (int n : {0, 100, 1000000}) {
    TReply r = get(port(), "/size/" + std::to_string(n));
    SCOPED_TRACE(n);
    EXPECT_EQ(r.Error, 0);
    EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
    EXPECT_EQ(r.field("Content-Type"), "text/html");
    EXPECT_EQ(r.field("Content-Length"), std::to_string(n));
    EXPECT_EQ(r.body().size(), static_cast<size_t>(n));
    EXPECT_TRUE(printable(r.body()));
  }
  // The pattern does not depend on the request: a shorter body is a prefix of a longer one.
  EXPECT_EQ(get(port(), "/size/1000000").body().substr(0, 100), get(port(), "/size/100").body());
}

TEST_F(TargetRoutes, HeadGetsTheFieldsWithoutBody) {
  TReply r = exchange(port(), "HEAD /size/500 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_EQ(r.field("Content-Length"), "500");
  EXPECT_EQ(r.body(), "");
}

TEST_F(TargetRoutes, SizeRejectsWhatItCannotServe) {
  EXPECT_EQ(statusline(get(port(), "/size/2000000000")), "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(statusline(get(port(), "/size/-1")), "HTTP/1.0 404 Not Found");
  EXPECT_EQ(statusline(get(port(), "/size/12abc")), "HTTP/1.0 404 Not Found");
}

TEST_F(TargetRoutes, StatusCodesCarryTheirReasonAndABody) {
  TReply r = get(port(), "/status/503");
  EXPECT_EQ(statusline(r), "HTTP/1.0 503 Service Unavailable");
  EXPECT_EQ(r.body(), "status 503\n");
  EXPECT_EQ(statusline(get(port(), "/status/200")), "HTTP/1.0 200 OK");
  EXPECT_EQ(statusline(get(port(), "/status/401")), "HTTP/1.0 401 Unauthorized");
  EXPECT_EQ(statusline(get(port(), "/status/599")), "HTTP/1.0 599 Unknown");
  EXPECT_EQ(statusline(get(port(), "/status/42")), "HTTP/1.0 400 Bad Request");
}

TEST_F(TargetRoutes, RedirectDecodesItsParametersAndSetsEachCookie) {
  TReply r = get(port(),
                 "/redirect?to=http%3A%2F%2F127.0.0.1%2Fa%3Fb%3D1&code=301"
                 "&cookie=a%3D1&cookie=b=two+words");
  EXPECT_EQ(statusline(r), "HTTP/1.0 301 Moved Permanently");
  EXPECT_EQ(r.field("Location"), "http://127.0.0.1/a?b=1");
  EXPECT_EQ(r.fields("Set-Cookie"), (std::vector<std::string>{"a=1", "b=two words"}));
  EXPECT_EQ(r.body(), "");

  TReply plain = get(port(), "/redirect?to=/size/10");
  EXPECT_EQ(statusline(plain), "HTTP/1.0 302 Found");
  EXPECT_EQ(plain.field("Location"), "/size/10");
  EXPECT_TRUE(plain.fields("Set-Cookie").empty());
}

TEST_F(TargetRoutes, ParametersCannotInjectHeaderLines) {
  TReply r = get(port(), "/redirect?to=/x%0D%0ASet-Cookie:%20evil=1");
  EXPECT_EQ(statusline(r), "HTTP/1.0 400 Bad Request");
  EXPECT_TRUE(r.fields("Set-Cookie").empty());
  EXPECT_EQ(statusline(get(port(), "/cookie?set=a=1%0Aevil:2")), "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(statusline(get(port(), "/redirect?code=302")), "HTTP/1.0 400 Bad Request");
}

TEST_F(TargetRoutes, ChainCountsDownWithACookiePerHop) {
  TReply hop = get(port(), "/chain/2");
  EXPECT_EQ(statusline(hop), "HTTP/1.0 302 Found");
  EXPECT_EQ(hop.field("Location"), "/chain/1");
  EXPECT_EQ(hop.field("Set-Cookie"), "hop=2");
  TReply end = get(port(), "/chain/0");
  EXPECT_EQ(statusline(end), "HTTP/1.0 200 OK");
  EXPECT_EQ(end.body(), "end of chain\n");
  EXPECT_TRUE(end.fields("Set-Cookie").empty());
}

TEST_F(TargetRoutes, CookieWritesOneLinePerSetInPlainOrRawForm) {
  TReply r = get(port(), "/cookie?set=a=1&set=b=2");
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_NE(r.head().find("\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n"), std::string::npos);
  EXPECT_EQ(r.body(), "cookies\n");
  TReply raw = get(port(), "/cookie?raw=1&set=a=1&set=b=2");
  EXPECT_NE(raw.head().find("\r\nSet-Cookie:a=1\r\nSet-Cookie:b=2\r\n"), std::string::npos);
}

TEST_F(TargetRoutes, AuthAcceptsOnlyTheMatchingBasicCredentials) {
  // "joe:secret" in Base64.
  TReply ok = exchange(port(),
                       "GET /auth?user=joe&pw=secret HTTP/1.0\r\n"
                       "Authorization: Basic am9lOnNlY3JldA==\r\n\r\n");
  EXPECT_EQ(statusline(ok), "HTTP/1.0 200 OK");
  EXPECT_EQ(ok.body(), "welcome joe\n");

  TReply wrong = exchange(port(),
                          "GET /auth?user=joe&pw=other HTTP/1.0\r\n"
                          "Authorization: Basic am9lOnNlY3JldA==\r\n\r\n");
  EXPECT_EQ(statusline(wrong), "HTTP/1.0 401 Unauthorized");
  EXPECT_EQ(wrong.field("WWW-Authenticate"), "Basic realm=\"pressbolt\"");

  TReply none = get(port(), "/auth?user=joe&pw=secret");
  EXPECT_EQ(statusline(none), "HTTP/1.0 401 Unauthorized");
}

TEST_F(TargetRoutes, HostAnswersOkOnlyForTheExpectedHostLine) {
  TReply ok = exchange(port(), "GET /host?is=%5B::1%5D HTTP/1.0\r\nHost: [::1]\r\n\r\n");
  EXPECT_EQ(statusline(ok), "HTTP/1.0 200 OK");
  EXPECT_EQ(ok.body(), "Host: [::1]\n");
  TReply wrong = exchange(port(), "GET /host?is=[::1] HTTP/1.0\r\nHost: ::1\r\n\r\n");
  EXPECT_EQ(statusline(wrong), "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(wrong.body(), "Host: ::1, not [::1]\n");
  EXPECT_EQ(statusline(get(port(), "/host?is=x")), "HTTP/1.0 400 Bad Request");
}

TEST_F(TargetRoutes, EchoReturnsTheRequestByteForByte) {
  const std::string header =
      "POST /echo?q=1 HTTP/1.0\r\nX-Odd:  spaced \t\r\nContent-Length: 12\r\n\r\n";
  const std::string body = std::string("a\r\n\r\nb\0c\xff", 9) + "xyz";
  // The body arrives in a second write: the answer must wait for all announced bytes, and bytes
  // past them are not part of the request.
  int fd = connectto(port());
  sendall(fd, header);
  sendall(fd, body + "EXTRA");
  TReply r = readall(fd);
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_EQ(r.field("Content-Type"), "text/plain");
  EXPECT_EQ(r.body(), header + body);
}

TEST_F(TargetRoutes, AbsoluteUriIsServedLikeItsPath) {
  TReply r = get(port(), "http://example.invalid:8080/size/5?x=1");
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_EQ(r.body().size(), 5u);
  const std::string request = "GET http://example.invalid/echo HTTP/1.0\r\nHost: x\r\n\r\n";
  EXPECT_EQ(exchange(port(), request).body(), request);
  EXPECT_EQ(statusline(get(port(), "http://example.invalid")), "HTTP/1.0 200 OK");
}

TEST_F(TargetRoutes, BrokenAnswersComeExactlyAsDescribed) {
  EXPECT_EQ(get(port(), "/headerless").Bytes,
            "<html><body>headerless\r\nsecond line\r\n</body></html>\r\n");
  EXPECT_EQ(get(port(), "/longline").Bytes,
            "HTTP/1.0 200 OK\r\nX-Long: " + std::string(100000, 'a'));
  const char nul[] = "HTTP/1.0 200 OK\r\nX-A: b\0c\r\nContent-Type: text/html\r\n\r\nbody";
  EXPECT_EQ(get(port(), "/nul").Bytes, std::string(nul, sizeof nul - 1));
  TReply closed = get(port(), "/close");
  EXPECT_EQ(closed.Bytes, "");
  EXPECT_EQ(closed.Error, 0);
}

TEST_F(TargetRoutes, ResetEndsTheAnswerWithAReset) {
  TReply r = get(port(), "/reset");
  EXPECT_TRUE(r.Error == ECONNRESET || r.body().size() < 1000) << r.Error;
  if (!r.Bytes.empty()) {
    EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  }
  EXPECT_LE(r.body().size(), 1000u);
}

TEST_F(TargetRoutes, TrickleSendsTheAnnouncedBytes) {
  TReply r = get(port(), "/trickle?bytes=5&ms=1");
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_EQ(r.field("Content-Length"), "5");
  EXPECT_EQ(r.body(), get(port(), "/size/5").body());
}

// The held answer is never early: the client's clock starts before the request even leaves.
TEST_F(TargetRoutes, DelayAnswersNoSoonerThanAsked) {
  auto t0 = std::chrono::steady_clock::now();
  TReply r = get(port(), "/delay?ms=40");
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(40));
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_EQ(r.body(), "<html><body>answered after 40 ms</body></html>\r\n");
  EXPECT_EQ(statusline(get(port(), "/delay?ms=60001")), "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(statusline(get(port(), "/delay?ms=soon")), "HTTP/1.0 400 Bad Request");
}

TEST_F(TargetRoutes, BrowserPagesLinkPicturesAndFrames) {
  TReply pic = get(port(), "/picture.png");
  EXPECT_EQ(pic.field("Content-Type"), "image/png");
  EXPECT_EQ(pic.body().substr(0, 4), "\x89PNG");
  // The slow picture is the same picture, followed by bytes a decoder ignores, sent slowly.
  auto t0 = std::chrono::steady_clock::now();
  TReply slow = get(port(), "/slowpicture?ms=200");
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
  EXPECT_EQ(slow.body().substr(0, pic.body().size()), pic.body());
  EXPECT_EQ(slow.field("Content-Length"), std::to_string(slow.body().size()));
  EXPECT_EQ(statusline(get(port(), "/slowpicture?ms=x")), "HTTP/1.0 400 Bad Request");

  std::string page = get(port(), "/pictures?n=2&slow=50").body();
  EXPECT_NE(page.find("<img src=\"/picture.png?1\""), std::string::npos);
  EXPECT_NE(page.find("<img src=\"/picture.png?2\""), std::string::npos);
  EXPECT_EQ(page.find("/picture.png?3"), std::string::npos);
  EXPECT_NE(page.find("/slowpicture?ms=50"), std::string::npos);
  std::string frames = get(port(), "/frames").body();
  EXPECT_LT(frames.find("<frame src=\"/index.html\">"), frames.find("<frame src=\"/pictures"));
}

TEST_F(TargetRoutes, OtherPathsAreNotFound) {
  TReply r = get(port(), "/nothing/here");
  EXPECT_EQ(statusline(r), "HTTP/1.0 404 Not Found");
  EXPECT_FALSE(r.body().empty());
  TReply index = get(port(), "/");
  EXPECT_EQ(statusline(index), "HTTP/1.0 200 OK");
  EXPECT_EQ(index.field("Content-Type"), "text/html");
  EXPECT_EQ(get(port(), "/index.html").Bytes, index.Bytes);
  TReply exe = get(port(), "/html-exe/doc.exe");
  EXPECT_EQ(statusline(exe), "HTTP/1.0 200 OK");
  EXPECT_EQ(exe.field("Content-Type"), "text/html");
}

}  // namespace
