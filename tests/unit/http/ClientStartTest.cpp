// Starting a request: what Get and Post derive from the URL and the proxy, the exceptions they
// raise, and Abort. The name lookup is replaced, so nothing goes to the network.

#include <gtest/gtest.h>

#include <iterator>

#include "HttpEventLog.h"
#include "http/HttpProt.h"

namespace {

class TNoLookup : public THttpCli {
 public:
  explicit TNoLookup(TEventLoop& loop) : THttpCli(loop) {}
  int Lookups = 0;

 protected:
  void StartConnect() override { ++Lookups; }  // stays in hsStarting, as if the lookup waited
};

struct StartCase {
  const char* url;
  const char* proxy;
  const char* connecthost;
  const char* connectport;
  const char* targethost;
  const char* requesttarget;
  const char* documentname;
};

TEST(ClientStart, TargetsFromUrlAndProxy) {
  const StartCase cases[] = {
      {"http://h", "", "h", "80", "h", "/", "document.htm"},
      {"http://h:8080/a/b.htm?x=1", "", "h", "8080", "h", "/a/b.htm?x=1", "b.htm"},
      {"http://u:p@h/x", "p:3128", "p", "3128", "h", "http://h/x", "x"},
      {"http://h:81/x/", "proxy", "proxy", "8888", "h", "http://h:81/x/", "x"},
      {"h/y", "proxy:1", "proxy", "1", "h", "http://h/y", "y"},
      {"http://h", "proxy:1", "proxy", "1", "h", "http://h", "document.htm"},
      {"/rel", "", "", "80", "", "/rel", "rel"},
      // An IPv6 literal keeps its brackets for the Host line and the proxy's absolute URL; a
      // proxy may be one as well.
      {"http://[::1]:8080/d/e.htm#f", "", "[::1]", "8080", "[::1]", "/d/e.htm", "e.htm"},
      {"http://[::1]/x", "[::2]:3128", "[::2]", "3128", "[::1]", "http://[::1]/x", "x"},
      {"http://[::1]:81/x", "[::2]", "[::2]", "8888", "[::1]", "http://[::1]:81/x", "x"},
  };
  // Each URL twice in a row: a URL met again must give the same targets as the first time.
  for (int n = 0; n < int(2 * std::size(cases)); ++n) {
    const StartCase& c = cases[n / 2];
    TEventLoop loop;
    TNoLookup cli(loop);
    cli.URL = c.url;
    cli.Proxy = c.proxy;
    cli.ProxyPort = "8888";
    cli.Get();
    EXPECT_EQ(cli.Lookups, 1);
    EXPECT_EQ(cli.ConnectHost, c.connecthost) << c.url;
    EXPECT_EQ(cli.ConnectPort, c.connectport) << c.url;
    EXPECT_EQ(cli.TargetHost, c.targethost) << c.url;
    EXPECT_EQ(cli.RequestTarget, c.requesttarget) << c.url;
    EXPECT_EQ(cli.DocumentName, c.documentname) << c.url;
    EXPECT_EQ(cli.Location, c.url);
    cli.Abort();
  }
}

TEST(ClientStart, CredentialsInTheUrlReplaceTheProperties) {
  TEventLoop loop;
  TNoLookup cli(loop);
  cli.Username = "old";
  cli.Password = "oldpw";
  cli.URL = "http://u:p@h/";
  cli.Get();
  EXPECT_EQ(cli.Username, "u");
  EXPECT_EQ(cli.Password, "p");
  cli.Abort();
  // A URL with only a user keeps the password property.
  cli.URL = "http://v@h/";
  loop.Run();
  cli.Get();
  EXPECT_EQ(cli.Username, "v");
  EXPECT_EQ(cli.Password, "p");
  cli.Abort();
}

TEST(ClientStart, BusyAndNothingToPost) {
  TEventLoop loop;
  TNoLookup cli(loop);
  THttpEventLog log;
  cli.URL = "http://h/";
  try {
    cli.Post();
    FAIL();
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode, 2);
    EXPECT_STREQ(e.what(), "HTTP component has nothing to post");
  }
  EXPECT_EQ(cli.State(), hsReady);
  cli.Get();
  log.Attach(cli);
  try {
    cli.Get();
    FAIL();
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode, 1);
    EXPECT_STREQ(e.what(), "HTTP component is busy");
  }
  EXPECT_EQ(cli.State(), hsStarting);
  EXPECT_EQ(cli.RequestType, rqGet);
  EXPECT_TRUE(log.Events.empty());
}

TEST(ClientAbort, CompletesOnceAndNeverInside) {
  TEventLoop loop;
  TNoLookup cli(loop);
  THttpEventLog log;
  log.Attach(cli);
  cli.URL = "http://h/";
  cli.Get();
  cli.Abort();
  EXPECT_EQ(log.Done, 0);
  EXPECT_EQ(cli.StatusCode, 404);
  EXPECT_EQ(cli.ReasonPhrase, "Connection aborted on request");
  loop.Run();
  EXPECT_EQ(log.Events, (std::vector<std::string>{"State hsStarting", "State hsAborting",
                                                  "State hsReady", "RequestDone 1 3"}));
  // Idle: nothing happens.
  cli.Abort();
  loop.Run();
  EXPECT_EQ(log.Done, 1);
}

TEST(ClientAbort, EmptyHostLeavesTheLookupStateUntilAbort) {
  TEventLoop loop;
  THttpCli cli(loop);
  THttpEventLog log;
  log.Attach(cli);
  cli.URL = "http:///nohost";
  EXPECT_THROW(cli.Get(), ESocketException);
  EXPECT_EQ(cli.State(), hsDnsLookup);
  cli.Abort();
  loop.Run();
  EXPECT_EQ(log.Events,
            (std::vector<std::string>{"State hsStarting", "State hsDnsLookup", "State hsAborting",
                                      "State hsReady", "RequestDone 1 3"}));
  EXPECT_EQ(cli.RequestError(), 3);
}

}  // namespace
