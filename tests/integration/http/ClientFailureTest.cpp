// Failed and aborted requests on loopback: refused connects, unknown hosts, Abort in every state
// and responses that break off or misbehave.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ClientSession.h"
#include "support/FixedResolver.h"
#include "support/TargetServer.h"

namespace {

// A loopback port that nobody listens on: bound once, then released.
int deadport() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

const std::vector<std::string> lookupstart = {"State hsStarting", "State hsDnsLookup"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ClientFailure, RefusedConnect) {
  TClientSession s;
  s.cli.URL = "http://127.0.0.1:" + std::to_string(deadport()) + "/";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.cli.ReasonPhrase, "Connection refused (Error #10061)");
  EXPECT_EQ(s.log.Error, 10061);
  EXPECT_EQ(s.log.Events,
            concat(lookupstart, {"State hsConnecting", "State hsReady", "RequestDone 1 10061"}));
}

TEST(ClientFailure, UnknownHost) {
  TFixedResolver names;
  TClientSession s;
  s.cli.URL = "http://no-such-host.invalid/";
  s.cli.Get();
  EXPECT_EQ(s.cli.State(), hsDnsLookup);
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.cli.ReasonPhrase, "can't resolve hostname to IP address");
  EXPECT_EQ(s.log.Error, 11001);
  EXPECT_EQ(s.log.Events, concat(lookupstart, {"State hsReady", "RequestDone 1 11001"}));
  EXPECT_EQ(names.asked, std::vector<std::string>{"no-such-host.invalid"});
}

TEST(ClientFailure, LookupThatCannotBeAnsweredNow) {
  TFixedResolver names({{"offline.example", 11002}});
  TClientSession s;
  s.cli.URL = "http://offline.example/";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.log.Error, 11002);
}

TEST(ClientFailure, ConnectRefusedByTheSocketLayer) {
  // A proxy without a port and an empty ProxyPort: nothing to connect to.
  TClientSession s;
  s.cli.URL = "http://origin.invalid/";
  s.cli.Proxy = "127.0.0.1";
  s.cli.ProxyPort = "";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.cli.ReasonPhrase, "can't connect: Invalid argument (Error #10022)");
  EXPECT_EQ(s.log.Error, 10022);
  EXPECT_EQ(s.log.Done, 1);
}

TEST(ClientFailure, AbortDuringLookup) {
  TClientSession s;
  s.cli.URL = "http://localhost:1/";  // a name: the lookup runs on a worker
  s.cli.Get();
  ASSERT_EQ(s.cli.State(), hsDnsLookup);
  s.cli.Abort();
  EXPECT_EQ(s.log.Done, 0);
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Events,
            concat(lookupstart, {"State hsAborting", "State hsReady", "RequestDone 1 3"}));
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.cli.ReasonPhrase, "Connection aborted on request");
}

TEST(ClientFailure, AbortDuringConnect) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/hang");
  s.cli.Get();  // a dotted address: lookup and connect start inside
  ASSERT_EQ(s.cli.State(), hsConnecting);
  s.cli.Abort();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Events, concat(lookupstart, {"State hsConnecting", "State hsAborting",
                                               "State hsReady", "RequestDone 1 3"}));
}

TEST(ClientFailure, AbortWhenConnected) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/echo");
  s.cli.OnSessionConnected = [&](THttpCli* c) {
    s.log.add("SessionConnected");
    c->Abort();
  };
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Events,
            concat(lookupstart, {"State hsConnecting", "State hsConnected", "SessionConnected",
                                 "State hsAborting", "State hsReady", "RequestDone 1 3"}));
  EXPECT_EQ(s.cli.State(), hsReady);
}

TEST(ClientFailure, AbortWhileWaitingForTheHeader) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/hang");
  s.cli.Get();
  ASSERT_TRUE(s.rununtil([&] { return s.cli.State() == hsWaitingHeader; }));
  s.cli.Abort();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.log.Error, 3);
  EXPECT_EQ(s.log.Events.back(), "RequestDone 1 3");
  EXPECT_EQ(*(s.log.Events.end() - 3), "State hsAborting");
}

TEST(ClientFailure, AbortDuringTheBody) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/trickle?bytes=1000&ms=5");
  s.cli.OnDocData = [&](THttpCli* c, const char* b, int n) {
    s.log.Doc.append(b, size_t(n));
    s.log.add("DocData");
    if (c->State() == hsWaitingBody) c->Abort();
  };
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_LT(s.log.Doc.size(), 1000u);
  std::vector<std::string> tail(s.log.Events.end() - 6, s.log.Events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"DocBegin", "DocData", "State hsAborting", "DocEnd",
                                            "State hsReady", "RequestDone 1 3"}));
  EXPECT_EQ(s.log.Done, 1);
}

TEST(ClientFailure, ServerClosesWithoutAnswer) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/close");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 0);
  EXPECT_EQ(s.log.Error, 0);
  EXPECT_TRUE(s.cli.ResponseHeaders.empty());
}

TEST(ClientFailure, ResetAfterPartOfTheBody) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/reset");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  // No length was announced, so nothing tells a whole body from a part: a reset is a failure.
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.log.Error, 10054);
  EXPECT_EQ(s.cli.ReasonPhrase, "Connection reset by peer (Error #10054)");
  EXPECT_LE(s.cli.BytesReceived, 1000);
}

TEST(ClientFailure, LineTooLongEndsWithTheClose) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/longline");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  // The header never ended: a failure, not a 200.
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.cli.ResponseHeaders, std::vector<std::string>{"HTTP/1.0 200 OK"});
  EXPECT_EQ(s.log.Error, THttpCli::HeaderCutError);
  EXPECT_EQ(s.log.Done, 1);
}

TEST(ClientFailure, AHeaderCutOffByAResetOrACloseIsAFailure) {
  TTargetServer target;
  for (auto [path, error] : {std::pair{"/halfheader/reset", uint16_t(10054)},
                             {"/halfheader/close", THttpCli::HeaderCutError}}) {
    TClientSession s;
    s.cli.URL = target.url(path);
    s.cli.Get();
    ASSERT_TRUE(s.finish()) << path;
    EXPECT_EQ(s.cli.StatusCode, 404) << path;
    EXPECT_EQ(s.log.Error, error) << path;
    EXPECT_EQ(s.log.Done, 1);
  }
}

TEST(ClientFailure, ZeroByteHidesTheRestOfTheHeader) {
  TTargetServer target;
  TClientSession s;
  s.cli.URL = target.url("/nul");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.log.Error, THttpCli::HeaderCutError);
  EXPECT_EQ(s.cli.ResponseHeaders, std::vector<std::string>{"HTTP/1.0 200 OK"});
  EXPECT_EQ(s.cli.BytesReceived, 0);
}

}  // namespace
