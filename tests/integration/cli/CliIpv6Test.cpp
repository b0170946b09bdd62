// pressbolt-cli with IPv6 literals: a load test against pressbolt-target on ::1 whose requests
// the server counts only when their Host line is right, the URL as given in every output, a proxy
// written as a literal, a closed port, and URLs refused before anything starts. The tests that
// need ::1 skip where the machine has none.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "support/TargetServer.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
  return TCliProcess::occurrences(text, what);
}

TEST(CliIpv6, LoadTestOnTheLoopbackAddress) {
  if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  TTempDir dir;
  TTargetServer target({"--bind", "::1", "--log"}, dir.file("target.log"));
  // The target answers 200 only when the Host line is exactly its address and port.
  const std::string check = "/host?is=" + target.hostport();
  const std::string url = target.url(check);
  TCliResult r = clirun(dir,
                        "-q --users 50 --runs 2 --output-dir . --json r.json --requests-csv "
                        "r.csv --html r.html " +
                            quoted(url));
  ASSERT_EQ(r.status, 0) << r.err;
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["settings"]["url"], url);
  ASSERT_EQ(j["runs"].size(), 2u);
  for (const auto& run : j["runs"]) {
    EXPECT_EQ(run["completed"], 50);
    EXPECT_EQ(run["status_codes"]["200"], 50) << run["status_codes"].dump();
    EXPECT_EQ(run["errors"], 0);
  }
  EXPECT_EQ(count(readfile(dir.file("target.log")), "GET " + check + " 200\n"), 100u);
  EXPECT_EQ(count(readfile(dir.file("r.csv")), "," + url + ","), 100u);
  EXPECT_NE(readfile(dir.file("r.html")).find(url), std::string::npos);
  std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_NE(log.find(url), std::string::npos);
  EXPECT_EQ(count(readfile(dir.file("Pressbolt Results.log")), "50x\"200\""), 2u);
}

TEST(CliIpv6, ProxyWrittenAsALiteral) {
  if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  TTempDir dir;
  TTargetServer proxy({"--bind", "::1"}, "");
  TCliResult r =
      clirun(dir, "-q --users 5 --output-dir . --json r.json --proxy " + proxy.hostport() + " " +
                      quoted("http://example.test/host?is=example.test"));
  ASSERT_EQ(r.status, 0) << r.err;
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["runs"][0]["status_codes"]["200"], 5) << j["runs"][0]["status_codes"].dump();
  EXPECT_NE(readfile(dir.file("Pressbolt Detailed Results.log"))
                .find("Settings: Proxy: [::1]:" + std::to_string(proxy.port())),
            std::string::npos);
}

TEST(CliIpv6, AClosedPortFailsEveryRequestWithItsCode) {
  if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  // Bound but not listening: every connection is refused.
  int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), len), 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  TTempDir dir;
  TCliResult r = clirun(dir, "-q --users 4 --output-dir . --json r.json http://[::1]:" +
                                 std::to_string(ntohs(a.sin6_port)) + "/");
  ::close(fd);
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["runs"][0]["status_codes"]["404"], 4) << j["runs"][0]["status_codes"].dump();
  EXPECT_EQ(j["runs"][0]["socket_codes"]["10061"], 4) << j["runs"][0]["socket_codes"].dump();
  EXPECT_EQ(j["runs"][0]["errors"], 4);
  (void)r;
}

TEST(CliIpv6, DamagedOrAmbiguousAddressesAreRefused) {
  TTempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"http://[::1", "no valid IPv6 address in brackets"},
      {"http://[::1]x/", "no valid IPv6 address in brackets"},
      {"http://[zz]/", "no valid IPv6 address in brackets"},
      {"http://[::1]:99999/", "invalid port"},
      {"http://::1:8080/", "without brackets"},
      {"http://::1/", "without brackets"},
  };
  for (const auto& [url, why] : cases) {
    TCliResult r = clirun(dir, quoted(url));
    EXPECT_EQ(r.status, 2) << url;
    EXPECT_NE(r.err.find(why), std::string::npos) << url << ": " << r.err;
  }
  for (const char* proxy : {"::1", "::1:3128", "[::1", "[::1]x:80"}) {
    TCliResult r = clirun(dir, "--proxy " + quoted(proxy) + " http://127.0.0.1:1/");
    EXPECT_EQ(r.status, 2) << proxy;
    EXPECT_NE(r.err.find("IPv6"), std::string::npos) << proxy << ": " << r.err;
  }
}

}  // namespace
