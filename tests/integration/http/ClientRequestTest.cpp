// Whole requests against pressbolt-target on loopback: the bytes the server received, the event
// sequences of GET and POST, the document and the results.

#include <gtest/gtest.h>

#include "ClientSession.h"
#include "support/TargetServer.h"

namespace {

TEST(ClientRequest, GetEventsAndResults) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/size/100");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.cli.ReasonPhrase, "OK");
  EXPECT_EQ(s.cli.ContentLength, 100);
  EXPECT_EQ(s.cli.ContentType, "text/html");
  EXPECT_EQ(s.cli.BytesReceived, 100);
  EXPECT_EQ(s.log.Doc.size(), 100u);
  EXPECT_EQ(s.cli.DocumentName, "100");
  ASSERT_FALSE(s.cli.ResponseHeaders.empty());
  EXPECT_EQ(s.cli.ResponseHeaders[0], "HTTP/1.0 200 OK");
  EXPECT_EQ(s.log.Events, s.getsequence({"GET /size/100 HTTP/1.0", "Host: " + target.hostport()},
                                        s.cli.ResponseHeaders, true));
  EXPECT_EQ(s.log.Done, 1);
  EXPECT_EQ(s.cli.State(), hsReady);
}

TEST(ClientRequest, GetTextAsReceivedWithEveryOptionalLine) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = "http://user:secret@" + target.hostport() + "/echo";
  s.cli.Sender = "me@example.test";
  s.cli.Reference = "http://127.0.0.1/from";
  s.cli.Agent = "Agent/2.0";
  s.cli.NoCache = true;
  s.cli.ModifiedSince = 36526.5;
  s.cli.Cookie = "a=1\r\nCookie: b=2";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Doc,
            "GET /echo HTTP/1.0\r\n"
            "From: me@example.test\r\n"
            "Referer: http://127.0.0.1/from\r\n"
            "User-Agent: Agent/2.0\r\n"
            "Host: " +
                target.hostport() +
                "\r\n"
                "Pragma: no-cache\r\n"
                "If-Modified-Since: Sat, 01 Jan 2000 12:00:00 GMT\r\n"
                "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"
                "Cookie: a=1\r\n"
                "Cookie: b=2\r\n"
                "\r\n");
  EXPECT_EQ(s.cli.Username, "user");
  EXPECT_EQ(s.cli.Password, "secret");
  EXPECT_EQ(s.cli.ContentType, "text/plain");
}

// The header is composed from the properties as they are when OnCommand first fires: a handler
// that changes them (here to texts long enough to move their storage) changes the next request.
TEST(ClientRequest, PropertiesChangedByOnCommandWaitForTheNextRequest) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/echo");
  s.cli.Agent = "Agent/2.0";
  s.cli.Cookie = "a=1";
  std::vector<std::string> commands;
  s.cli.OnCommand = [&](THttpCli* c, const std::string& line) {
    commands.push_back(line);
    c->Agent = std::string(300, 'x');
    c->Cookie = std::string(300, 'y');
  };
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  const std::string sent =
      "GET /echo HTTP/1.0\r\nUser-Agent: Agent/2.0\r\nHost: " + target.hostport() +
      "\r\nCookie: a=1\r\n\r\n";
  EXPECT_EQ(s.log.Doc, sent);
  EXPECT_EQ(commands, (std::vector<std::string>{"GET /echo HTTP/1.0", "User-Agent: Agent/2.0",
                                                "Host: " + target.hostport(), "Cookie: a=1", ""}));
}

TEST(ClientRequest, PostSendsTheBodyInChunksOfAtMost8193) {
  TTargetServer target;
  TClientSession s;
  std::string body;
  for (int i = 0; i < 20000; ++i) body += char('a' + i % 26);
  TMemoryStream post(body);
  std::vector<int> chunks;
  s.cli.URL = target.url("/echo");
  s.cli.PostStream = &post;
  s.cli.OnSendData = [&](THttpCli*, const char* b, int n) {
    chunks.push_back(n);
    s.log.Sent.append(b, size_t(n));
    s.log.add("SendData");
  };
  s.cli.Post();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(chunks, (std::vector<int>{8193, 8193, 3614}));
  EXPECT_EQ(s.log.Sent, body);
  EXPECT_EQ(s.cli.BytesSent, 20000);
  EXPECT_EQ(s.log.Doc,
            "POST /echo HTTP/1.0\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Host: " +
                target.hostport() +
                "\r\n"
                "Content-Length: 20000\r\n"
                "\r\n" +
                body);
  EXPECT_EQ(s.log.Events.back(), "RequestDone 2 0");
}

TEST(ClientRequest, PostEventsFollowTheHeader) {
  // /hang reads the whole request and never answers: the sending events are all there is.
  TTargetServer target;
  TClientSession s;
  TMemoryStream post(std::string(20000, 'p'));
  s.cli.URL = target.url("/hang");
  s.cli.PostStream = &post;
  s.cli.OnSendEnd = [&](THttpCli* c) {
    s.log.add("SendEnd");
    c->Abort();
  };
  s.cli.Post();
  ASSERT_TRUE(s.finish());
  auto at = std::find(s.log.Events.begin(), s.log.Events.end(), "Command ");
  ASSERT_NE(at, s.log.Events.end());
  EXPECT_EQ(std::vector<std::string>(at, s.log.Events.end()),
            (std::vector<std::string>{"Command ", "SendBegin", "SendData", "SendData", "SendData",
                                      "SendEnd", "State hsAborting", "State hsReady",
                                      "RequestDone 2 3"}));
}

TEST(ClientRequest, EmptyPostSendsLengthZeroAndNoData) {
  TTargetServer target;
  TClientSession s;
  TMemoryStream post;
  s.cli.URL = target.url("/echo");
  s.cli.ContentTypePost = "text/plain";
  s.cli.PostStream = &post;
  s.cli.Post();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Doc, "POST /echo HTTP/1.0\r\nContent-Type: text/plain\r\nHost: " +
                           target.hostport() + "\r\nContent-Length: 0\r\n\r\n");
  EXPECT_NE(std::find(s.log.Events.begin(), s.log.Events.end(), "SendEnd"), s.log.Events.end());
  EXPECT_EQ(std::find(s.log.Events.begin(), s.log.Events.end(), "SendData"), s.log.Events.end());
}

TEST(ClientRequest, ProxyGetsTheAbsoluteTarget) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = "http://u:p@origin.invalid:81/echo?x=1";
  s.cli.Proxy = target.hostport();
  s.cli.ProxyUsername = "pu";
  s.cli.ProxyPassword = "pp";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.ConnectHost, "127.0.0.1");
  EXPECT_EQ(s.log.Doc,
            "GET http://origin.invalid:81/echo?x=1 HTTP/1.0\r\n"
            "Host: origin.invalid:81\r\n"
            "Authorization: Basic dTpw\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n"
            "\r\n");
}

TEST(ClientRequest, ProxyWithoutPortUsesProxyPort) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = "http://origin.invalid/echo";
  s.cli.Proxy = "127.0.0.1";
  s.cli.ProxyPort = std::to_string(target.port());
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.ConnectPort, std::to_string(target.port()));
  EXPECT_EQ(s.log.Doc, "GET http://origin.invalid/echo HTTP/1.0\r\nHost: origin.invalid\r\n\r\n");

  // Port 80 is http's own and stays out of the Host line; the request target keeps it as given.
  TClientSession t;
  t.cli.URL = "http://origin.invalid:80/echo";
  t.cli.Proxy = target.hostport();
  t.cli.Get();
  ASSERT_TRUE(t.finish());
  EXPECT_EQ(t.log.Doc,
            "GET http://origin.invalid:80/echo HTTP/1.0\r\nHost: origin.invalid\r\n\r\n");
}

TEST(ClientRequest, HeaderlessDocument) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/headerless");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 0);
  EXPECT_EQ(s.cli.ContentType, "text/html");
  EXPECT_TRUE(s.cli.ResponseHeaders.empty());
  EXPECT_EQ(s.log.Error, 0);
  // Lines split in the header state lose their line ends; how many depends on the reads.
  std::string doc = s.log.Doc;
  EXPECT_EQ(doc.rfind("<html><body>headerless", 0), 0u) << doc;
  std::erase(doc, '\r');
  std::erase(doc, '\n');
  EXPECT_EQ(doc, "<html><body>headerlesssecond line</body></html>");
  std::vector<std::string> tail(s.log.Events.end() - 8, s.log.Events.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"HeaderBegin", "State hsWaitingBody", "HeaderEnd", "DocBegin",
                                      "DocData", "DocEnd", "State hsReady", "RequestDone 1 0"}));
}

TEST(ClientRequest, ErrorStatusWithBody) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/status/404");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.log.Error, 0);
  EXPECT_EQ(s.log.Done, 1);
  EXPECT_EQ(s.log.Events.back(), "RequestDone 1 0");
}

TEST(ClientRequest, BasicAuthentication) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/auth?user=joe&pw=s3cret");
  s.cli.Username = "joe";
  s.cli.Password = "s3cret";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.log.Doc, "welcome joe\n");

  TClientSession t;
  t.cli.URL = target.url("/auth?user=joe&pw=s3cret");
  t.cli.Get();
  ASSERT_TRUE(t.finish());
  EXPECT_EQ(t.cli.StatusCode, 401);
  ASSERT_EQ(t.cli.AuthChallenges.size(), 1u);
  EXPECT_EQ(t.cli.AuthChallenges[0], "Basic realm=\"pressbolt\"");
}

TEST(ClientRequest, ExeServedAsHtmlIsNamedHtm) {
  TTargetServer target;
  TClientSession s;
  TMemoryStream copy;
  s.cli.URL = target.url("/html-exe/doc.exe");
  s.cli.ResponseStream = &copy;
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.DocumentName, "doc.htm");
  EXPECT_EQ(copy.Data(), s.log.Doc);
  EXPECT_FALSE(copy.Data().empty());
}

TEST(ClientRequest, ReusedForASecondRequest) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/size/10");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  s.cli.URL = target.url("/size/20");
  s.cli.Get();
  ASSERT_TRUE(s.rununtil([&] { return s.log.Done == 2; }));
  EXPECT_EQ(s.cli.BytesReceived, 20);
  EXPECT_EQ(s.cli.ResponseHeaders[0], "HTTP/1.0 200 OK");
  EXPECT_EQ(s.log.Doc.size(), 30u);
}

// A document of many reads: every chunk, from the first read or a later one, is followed by a
// zero byte (handlers may read it as a C string), and together the chunks are the document.
TEST(ClientRequest, EveryChunkEndsInAZeroByte) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/size/50000");
  int chunks = 0;
  int unterminated = 0;
  std::string doc;
  s.cli.OnDocData = [&](THttpCli*, const char* b, int n) {
    ++chunks;
    if (b[n] != 0) ++unterminated;
    doc.append(b, size_t(n));
  };
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_GT(chunks, 1);
  EXPECT_EQ(unterminated, 0);
  EXPECT_EQ(doc.size(), 50000u);
  EXPECT_EQ(s.cli.BytesReceived, 50000);
}

TEST(ClientRequest, DestroyedInsideOnRequestDone) {
  TTargetServer target;
  TEventLoop loop;
  auto* cli = new THttpCli(loop);
  int done = 0;
  cli->URL = target.url("/size/5000");
  cli->OnRequestDone = [&](THttpCli* sender, THttpRequest, uint16_t) {
    ++done;
    delete sender;
  };
  cli->Get();
  loop.Run();
  EXPECT_EQ(done, 1);
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
