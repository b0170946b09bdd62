// Relocations against pressbolt-target (and canned answers): every form of a location, chains, a
// URL without a path, relocated POSTs and forms, and relocation through a proxy.

#include <gtest/gtest.h>

#include "ClientSession.h"
#include "RawServer.h"
#include "http/UrlSplit.h"
#include "support/TargetServer.h"

namespace {

int count(const std::vector<std::string>& v, const std::string& what) {
  return int(std::count(v.begin(), v.end(), what));
}

TEST(ClientRelocation, PathOnTheSameHost) {
  TTargetServer target;
  TClientSession s;
  std::vector<std::string> atchange;
  s.cli.OnLocationChange = [&](THttpCli* c) {
    s.log.add("LocationChange");
    atchange = c->ResponseHeaders;
  };
  s.cli.URL = target.url("/redirect?to=" + urlencode("/size/10") + "&cookie=s%3D9");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.cli.Location, "/size/10");
  EXPECT_EQ(s.cli.RequestTarget, "/size/10");
  EXPECT_EQ(s.log.Doc.size(), 10u);
  EXPECT_EQ(s.cli.BytesReceived, 10);
  ASSERT_FALSE(atchange.empty());
  EXPECT_EQ(atchange[0], "HTTP/1.0 302 Found");
  // Both responses' lines, the relocated one first.
  ASSERT_GT(s.cli.ResponseHeaders.size(), atchange.size());
  EXPECT_EQ(std::vector<std::string>(s.cli.ResponseHeaders.begin(),
                                     s.cli.ResponseHeaders.begin() + long(atchange.size())),
            atchange);
  EXPECT_EQ(s.cli.ResponseHeaders[atchange.size()], "HTTP/1.0 200 OK");
  EXPECT_NE(std::find(atchange.begin(), atchange.end(), "Set-Cookie: s=9"), atchange.end());

  // After the redirect's header end: the change, then a whole new connection.
  auto at = std::find(s.log.Events.begin(), s.log.Events.end(), "LocationChange");
  ASSERT_NE(at, s.log.Events.end());
  EXPECT_EQ(*(at - 1), "HeaderEnd");
  std::vector<std::string> next(at + 1, at + 10);
  EXPECT_EQ(next,
            (std::vector<std::string>{
                "State hsDnsLookup", "State hsConnecting", "State hsConnected", "SessionConnected",
                "State hsWaitingHeader", "RequestHeaderBegin", "Command GET /size/10 HTTP/1.0",
                "Command Host: " + target.hostport(), "RequestHeaderEnd"}));
  EXPECT_EQ(count(s.log.Events, "HeaderBegin"), 2);
  EXPECT_EQ(count(s.log.Events, "DocBegin"), 1);
  EXPECT_EQ(s.log.Events.back(), "RequestDone 1 0");
}

TEST(ClientRelocation, ChainCarriesTheCookieSetByTheHandler) {
  TTargetServer target;
  TClientSession s;
  std::vector<std::string> cookies;
  s.cli.OnLocationChange = [&](THttpCli* c) {
    s.log.add("LocationChange");
    c->Cookie = "seen=" + std::to_string(c->ResponseHeaders.size());
  };
  s.cli.OnCommand = [&](THttpCli*, const std::string& line) {
    if (line.rfind("Cookie: ", 0) == 0) cookies.push_back(line);
  };
  s.cli.URL = target.url("/chain/3");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(count(s.log.Events, "LocationChange"), 3);
  EXPECT_EQ(s.log.Doc, "end of chain\n");
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.cli.RequestTarget, "/chain/0");
  EXPECT_EQ(cookies.size(), 3u);
  EXPECT_EQ(s.log.Done, 1);
}

TEST(ClientRelocation, AbsoluteUrlAndUrlWithoutPath) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/redirect?to=" + urlencode(target.url("/size/7")));
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Doc.size(), 7u);
  EXPECT_EQ(s.cli.ConnectPort, std::to_string(target.port()));

  // No path: the named host's root.
  TClientSession t;
  t.cli.URL = target.url("/redirect?to=" + urlencode("http://" + target.hostport()));
  t.cli.Get();
  ASSERT_TRUE(t.finish());
  EXPECT_EQ(t.cli.RequestTarget, "/");
  EXPECT_EQ(t.cli.StatusCode, 200);
  EXPECT_EQ(t.cli.ContentType, "text/html");
}

TEST(ClientRelocation, RelocatedPostSendsItsBodyAgain) {
  TTargetServer target;
  TClientSession s;
  TMemoryStream post("a=1&b=2");
  // 307 asks for the same method and body again (after 302 a POST becomes a GET).
  s.cli.URL = target.url("/redirect?code=307&to=" + urlencode("/echo"));
  s.cli.PostStream = &post;
  s.cli.Post();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Doc,
            "POST /echo HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            "Host: " +
                target.hostport() + "\r\nContent-Length: 7\r\n\r\na=1&b=2");
  EXPECT_EQ(s.log.Events.back(), "RequestDone 2 0");
}

TEST(ClientRelocation, ThroughAProxyKeepsTheOriginsPort) {
  TTargetServer target;
  TClientSession s;
  s.cli.Proxy = target.hostport();
  s.cli.URL = "http://origin.invalid:81/redirect?to=" + urlencode("/echo");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.ConnectHost, "127.0.0.1");
  EXPECT_EQ(s.log.Doc,
            "GET http://origin.invalid:81/echo HTTP/1.0\r\nHost: origin.invalid:81\r\n\r\n");
}

// The Host line follows the request to its new host and port: a server that builds its redirects
// from it, or a proxy that holds it against the request target, must see the port.
TEST(ClientRelocation, TheHostLineFollowsTheNewHostAndPort) {
  TTargetServer origin, other;
  auto sent = [](const std::string& url, const std::string& proxy) {
    TClientSession s;
    s.cli.URL = url;
    s.cli.Proxy = proxy;
    s.cli.Get();
    EXPECT_TRUE(s.finish()) << url;
    EXPECT_EQ(s.cli.StatusCode, 200) << url;
    return s.log.Doc;
  };
  const std::string theirs = std::to_string(other.port());
  for (const std::string& to : {other.url("/echo"), "http://localhost:" + theirs + "/echo"}) {
    std::string doc = sent(origin.url("/redirect?to=" + urlencode(to)), "");
    EXPECT_NE(doc.find("\r\nHost: " + SplitURL(to).host + ":" + theirs + "\r\n"), std::string::npos)
        << to << ":\n"
        << doc;
  }
  // Through a proxy the Host line names the absolute target's host, and its port unless that is 80.
  const std::string via = origin.hostport();
  for (const auto& [to, host] : std::vector<std::pair<std::string, std::string>>{
           {"http://other.invalid:82/echo", "other.invalid:82"},
           {"http://other.invalid/echo", "other.invalid"},
           {"/echo", "origin.invalid:81"}}) {
    std::string doc = sent("http://origin.invalid:81/redirect?to=" + urlencode(to), via);
    EXPECT_NE(doc.find("\r\nHost: " + host + "\r\n"), std::string::npos) << to << ":\n" << doc;
  }
}

TEST(ClientRelocation, CredentialsAndCookiesStayWithTheHostAndPortTheyWereGivenFor) {
  TTargetServer origin, other;
  auto sent = [&](const std::string& to) {
    TClientSession s;
    s.cli.URL = "http://alice:s3cret@" + origin.hostport() + "/redirect?to=" + urlencode(to);
    s.cli.Cookie = "session=42";
    s.cli.Get();
    EXPECT_TRUE(s.finish()) << to;
    EXPECT_EQ(s.cli.StatusCode, 200) << to;
    return s.log.Doc;
  };
  // base64("alice:s3cret")
  const std::string auth = "Authorization: Basic YWxpY2U6czNjcmV0\r\n";
  std::string same = sent("/echo");
  EXPECT_NE(same.find(auth), std::string::npos) << same;
  EXPECT_NE(same.find("Cookie: session=42\r\n"), std::string::npos) << same;
  // The same address on another port is another server.
  for (const std::string& to :
       {other.url("/echo"), "http://localhost:" + std::to_string(other.port()) + "/echo",
        "//127.0.0.1:" + std::to_string(other.port()) + "/echo"}) {
    std::string away = sent(to);
    EXPECT_NE(away.find("GET /echo HTTP/1.0"), std::string::npos) << away;
    EXPECT_EQ(away.find("Authorization"), std::string::npos) << to << ":\n" << away;
    EXPECT_EQ(away.find("Cookie"), std::string::npos) << to << ":\n" << away;
  }
  // Back at the origin they go again.
  std::string back = sent(other.url("/redirect?to=" + urlencode(origin.url("/echo"))));
  EXPECT_NE(back.find(auth), std::string::npos) << back;
}

TEST(ClientRelocation, ASchemeOtherThanHttpAndHttpsIsNeverFollowed) {
  TTargetServer origin;
  for (const std::string& to : {std::string("ftp://127.0.0.1/x"), std::string("mailto:a@b")}) {
    TClientSession s;
    s.cli.URL = "http://alice:s3cret@" + origin.hostport() + "/redirect?to=" + urlencode(to);
    s.cli.Get();
    ASSERT_TRUE(s.finish()) << to;
    EXPECT_EQ(s.log.Error, THttpCli::RelocationSchemeError) << to;
    EXPECT_EQ(s.cli.StatusCode, 404) << to;
    EXPECT_EQ(s.cli.Location, to);
    EXPECT_EQ(count(s.log.Events, "SessionConnected"), 1) << to << ": one connection only";
    EXPECT_EQ(count(s.log.Events, "LocationChange"), 0) << to;
    EXPECT_EQ(s.log.Done, 1);
  }
}

TEST(ClientRelocation, RequestLinesCarryNoBlankAndNoFragment) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/redirect?to=" + urlencode("/echo?q=a b#later") + "#first");
  std::vector<std::string> firstlines;
  s.cli.OnCommand = [&](THttpCli*, const std::string& line) {
    if (line.rfind("GET ", 0) == 0) firstlines.push_back(line);
  };
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  ASSERT_EQ(firstlines.size(), 2u);
  EXPECT_EQ(firstlines[0].find('#'), std::string::npos) << firstlines[0];
  EXPECT_EQ(firstlines[1], "GET /echo?q=a%20b HTTP/1.0");
  EXPECT_EQ(s.log.Doc.rfind("GET /echo?q=a%20b HTTP/1.0\r\n", 0), 0u) << s.log.Doc;
}

// The request that follows a relocation from start to location, as the server read it.
std::string relocated(const std::string& start, const std::string& location,
                      const std::string& proxy = "") {
  TRawServer server({{"HTTP/1.0 302 Found\r\nLocation: " + location + "\r\n\r\n"},
                     {"HTTP/1.0 200 OK\r\n\r\nok"}});
  TClientSession s;
  s.cli.URL = proxy.empty() ? server.url(start) : proxy + start;
  if (!proxy.empty()) s.cli.Proxy = server.hostport();
  s.cli.Get();
  EXPECT_TRUE(s.finish()) << location;
  EXPECT_EQ(s.cli.StatusCode, 200) << location;
  EXPECT_EQ(s.log.Error, 0) << location;
  std::vector<std::string> requests = server.requests();
  return requests.size() == 2 ? requests[1] : "(" + std::to_string(requests.size()) + " requests)";
}

TEST(ClientRelocation, EveryFormOfReferenceIsResolvedAgainstTheCurrentUrl) {
  const std::pair<std::string, std::string> cases[] = {
      // A relative path: from the current one's directory, never a host name.
      {"sub/x", "GET /a/sub/x HTTP/1.0\r\n"},
      {"../x/./y", "GET /x/y HTTP/1.0\r\n"},
      {"../../../x", "GET /x HTTP/1.0\r\n"},
      // A query alone keeps the path.
      {"?r=2", "GET /a/b?r=2 HTTP/1.0\r\n"},
      // A fragment is never sent.
      {"/abs?k#frag", "GET /abs?k HTTP/1.0\r\n"},
      {"http:c", "GET /a/c HTTP/1.0\r\n"},
  };
  for (const auto& [to, head] : cases) {
    const std::string request = relocated("/a/b?q=1", to);
    EXPECT_EQ(request.rfind(head, 0), 0u) << to << ": " << request;
  }
}

TEST(ClientRelocation, ThroughAProxyEveryFormResolvesToAnAbsoluteTarget) {
  struct TCase {
    std::string to, line, host;
  };
  const TCase cases[] = {
      {"../x?q", "GET http://origin.invalid:81/x?q HTTP/1.0\r\n", "origin.invalid"},
      {"y", "GET http://origin.invalid:81/d/y HTTP/1.0\r\n", "origin.invalid"},
      // The Host line names the host the target names.
      {"//other.invalid:82/z", "GET http://other.invalid:82/z HTTP/1.0\r\n", "other.invalid"},
  };
  for (const TCase& c : cases) {
    const std::string request = relocated("/d/e", c.to, "http://origin.invalid:81");
    EXPECT_EQ(request.rfind(c.line, 0), 0u) << c.to << ": " << request;
    EXPECT_NE(request.find("\r\nHost: " + c.host), std::string::npos) << c.to << ": " << request;
  }
}

TEST(ClientRelocation, SchemeRelativeGoesToTheNamedHostAndPort) {
  TTargetServer origin;
  TTargetServer other({"--bind", "127.0.0.2"}, "");
  TClientSession s;
  s.cli.URL = "http://alice:s3cret@" + origin.hostport() +
              "/redirect?to=" + urlencode("//127.0.0.2:" + std::to_string(other.port()) + "/echo");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.cli.ConnectHost, "127.0.0.2");
  EXPECT_EQ(s.cli.ConnectPort, std::to_string(other.port()));
  EXPECT_EQ(s.log.Doc.rfind("GET /echo HTTP/1.0\r\n", 0), 0u) << s.log.Doc;
  EXPECT_NE(s.log.Doc.find("\r\nHost: 127.0.0.2"), std::string::npos) << s.log.Doc;
  // Another host: the credentials stay behind.
  EXPECT_EQ(s.log.Doc.find("Authorization"), std::string::npos) << s.log.Doc;
}

TEST(ClientRelocation, AFormIsNotSentAgainAfterSeeOther) {
  TTargetServer target;
  struct TCase {
    int code;
    THttpRequest rq;
    bool keepsbody;
  };
  const TCase cases[] = {{301, rqPost, false}, {302, rqPost, false}, {303, rqPost, false},
                         {307, rqPost, true},  {308, rqPost, true},  {303, rqGet, false}};
  for (const TCase& c : cases) {
    TClientSession s;
    TMemoryStream post("a=1&b=2");
    s.cli.URL =
        target.url("/redirect?code=" + std::to_string(c.code) + "&to=" + urlencode("/echo"));
    s.cli.PostStream = &post;
    if (c.rq == rqPost) {
      s.cli.Post();
    } else {
      s.cli.Get();
    }
    ASSERT_TRUE(s.finish()) << c.code;
    EXPECT_EQ(s.cli.StatusCode, 200) << c.code;
    const std::string& echo = s.log.Doc;
    if (c.keepsbody) {
      EXPECT_EQ(echo.rfind("POST /echo HTTP/1.0\r\n", 0), 0u) << c.code << ": " << echo;
      EXPECT_NE(echo.find("\r\nContent-Length: 7\r\n"), std::string::npos) << echo;
      EXPECT_TRUE(echo.ends_with("\r\n\r\na=1&b=2")) << c.code << ": " << echo;
      EXPECT_EQ(s.log.Events.back(), "RequestDone 2 0") << c.code;
    } else {
      EXPECT_EQ(echo.rfind("GET /echo HTTP/1.0\r\n", 0), 0u) << c.code << ": " << echo;
      EXPECT_EQ(echo.find("Content-"), std::string::npos) << c.code << ": " << echo;
      EXPECT_TRUE(echo.ends_with("\r\n\r\n")) << c.code << ": " << echo;
      EXPECT_EQ(s.log.Events.back(), "RequestDone 1 0") << c.code;
    }
  }
}

TEST(ClientRelocation, AbortWhileTheReconnectWaits) {
  TTargetServer target;
  TClientSession s;
  s.cli.OnLocationChange = [&](THttpCli* c) {
    s.log.add("LocationChange");
    c->Abort();
  };
  s.cli.URL = target.url("/chain/2");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  s.loop.Run();  // nothing may follow: the reconnect was cancelled
  EXPECT_EQ(s.log.Done, 1);
  EXPECT_EQ(s.log.Error, 3);
  std::vector<std::string> tail(s.log.Events.end() - 4, s.log.Events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"LocationChange", "State hsAborting", "State hsReady",
                                            "RequestDone 1 3"}));
}

}  // namespace
