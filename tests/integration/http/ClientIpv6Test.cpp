// The HTTP client with IPv6 literals against pressbolt-target on ::1: the Host line, a proxy and a
// relocation written as literals, credentials across spellings of one address, and a refused
// connection. Skipped where the machine has no IPv6 loopback address.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "ClientSession.h"
#include "support/TargetServer.h"

namespace {

class ClientIpv6 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  }
};

std::unique_ptr<TTargetServer> ipv6target() {
  return std::make_unique<TTargetServer>(std::vector<std::string>{"--bind", "::1"}, "");
}

TEST_F(ClientIpv6, TheHostLineKeepsTheBrackets) {
  auto target = ipv6target();
  ASSERT_EQ(target->hostport().substr(0, 6), "[::1]:");
  TClientSession s;
  s.cli.URL = target->url("/echo#part");
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.log.Error, 0);
  EXPECT_EQ(s.cli.ConnectHost, "[::1]");
  EXPECT_EQ(s.cli.DocumentName, "echo");
  EXPECT_EQ(s.log.Doc, "GET /echo HTTP/1.0\r\nHost: " + target->hostport() + "\r\n\r\n");
}

TEST_F(ClientIpv6, AProxyWrittenAsALiteral) {
  auto proxy = ipv6target();
  TClientSession s;
  s.cli.Proxy = proxy->hostport();
  s.cli.URL = "http://[::2]:81/echo";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.log.Doc, "GET http://[::2]:81/echo HTTP/1.0\r\nHost: [::2]:81\r\n\r\n");
}

TEST_F(ClientIpv6, RelocationToALiteralAndCredentialsPerHost) {
  TTargetServer v4;
  auto v6 = ipv6target();
  const std::string port = std::to_string(v6->port());
  auto sent = [](const std::string& url) {
    TClientSession s;
    s.cli.URL = url;
    s.cli.Get();
    EXPECT_TRUE(s.finish()) << url;
    EXPECT_EQ(s.cli.StatusCode, 200) << url;
    EXPECT_EQ(s.log.Error, 0) << url;
    return s.log.Doc;
  };
  const std::string auth = "Authorization: Basic YWxpY2U6czNjcmV0\r\n";  // alice:s3cret
  // From 127.0.0.1 to [::1]: another host, so the credentials stay behind.
  std::string away = sent("http://alice:s3cret@" + v4.hostport() +
                          "/redirect?to=" + urlencode("http://[::1]:" + port + "/echo"));
  EXPECT_NE(away.find("GET /echo HTTP/1.0\r\nHost: [::1]:" + port + "\r\n"), std::string::npos)
      << away;
  EXPECT_EQ(away.find("Authorization"), std::string::npos) << away;
  // Another spelling of the same address and port is the same server: they go along.
  std::string same = sent("http://alice:s3cret@[::1]:" + port + "/redirect?to=" +
                          urlencode("http://[0:0:0:0:0:0:0:1]:" + port + "/echo"));
  EXPECT_NE(same.find(auth), std::string::npos) << same;
  EXPECT_NE(same.find("Host: [0:0:0:0:0:0:0:1]:" + port + "\r\n"), std::string::npos) << same;
}

TEST_F(ClientIpv6, AClosedPortIsAConnectionError) {
  // A port of ::1 that is bound but not listening refuses every connection.
  int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), len), 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  TClientSession s;
  s.cli.URL = "http://[::1]:" + std::to_string(ntohs(a.sin6_port)) + "/";
  s.cli.Get();
  ASSERT_TRUE(s.finish());
  ::close(fd);
  EXPECT_EQ(s.cli.StatusCode, 404);
  EXPECT_EQ(s.cli.ReasonPhrase, "Connection refused (Error #10061)");
  EXPECT_EQ(s.log.Error, 10061);
}

}  // namespace
