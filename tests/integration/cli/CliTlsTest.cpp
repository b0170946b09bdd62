// pressbolt-cli against https: what the log, the Results and the JSON say of the trust in force,
// a certificate that is not accepted counted once per request with its cause, the tunnel through
// a proxy, and a handshake that never ends.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CliProcess.h"
#include "support/ConnectProxy.h"
#include "support/TargetServer.h"

namespace {

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(CliTls, AnUntrustedCertificateFailsEachRequestWithItsCauseAndTheTrustIsNamed) {
  TTempDir dir;
  TTargetServer target({"--tls-self-signed", "--tls-write-cert", dir.file("cert.pem")}, "");
  const std::string url = "https://127.0.0.1:" + std::to_string(target.port()) + "/size/10";

  TCliResult r = clirun(dir, "-q --users 3 --output-dir . --json r.json " + url);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_EQ(occurrences(log, "Socketcode = 10121 (Certificate verify failed.)"), 3u) << log;
  EXPECT_EQ(occurrences(log,
                        ": TLS handshake failed: certificate verify failed: self-signed "
                        "certificate"),
            3u)
      << log;
  EXPECT_EQ(occurrences(readfile(dir.file("Pressbolt Results.log")),
                        "Settings: https: certificates checked against the system's store"),
            1u);
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["runs"][0]["socket_codes"]["10121"], 3);
  EXPECT_EQ(j["runs"][0]["errors"], 3);
  EXPECT_EQ(j["settings"]["insecure"], false);

  // Trusted through the file, or not checked at all: every request is answered.
  for (const std::string& trust : {std::string("--ca-file cert.pem"), std::string("--insecure")}) {
    TCliResult ok = clirun(dir, "-q --users 3 --output-dir . --json ok.json " + trust + " " + url);
    ASSERT_EQ(ok.status, 0) << ok.err;
    auto k = nlohmann::json::parse(readfile(dir.file("ok.json")));
    EXPECT_EQ(k["runs"][0]["status_codes"]["200"], 3) << trust;
    EXPECT_EQ(k["runs"][0]["tls_ms"]["count"], 3) << trust;
    EXPECT_EQ(k["runs"][0]["bytes"], 30) << trust;
  }
  EXPECT_NE(readfile(dir.file("Pressbolt Results.log"))
                .find("Settings: https: certificates not checked (insecure)"),
            std::string::npos);

  // A plain test says nothing of TLS.
  TTargetServer plain;
  TCliResult p = clirun(dir, "-q --users 1 --output-dir . " + plain.url("/size/1"));
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(readfile(dir.file("Pressbolt Results.log")).find("https"), std::string::npos);
}

TEST(CliTls, AnHttpsTestThroughAProxyTunnelsEveryUserAndCountsARefusalWithTheProxysWords) {
  TTempDir dir;
  TTargetServer target({"--tls-self-signed", "--tls-write-cert", dir.file("cert.pem")}, "");
  const std::string origin = "127.0.0.1:" + std::to_string(target.port());
  const std::string url = "https://" + origin + "/size/10";
  {
    TConnectProxy proxy;
    TCliResult r = clirun(dir,
                          "-q --users 3 --output-dir . --json r.json --ca-file cert.pem "
                          "--proxy " +
                              proxy.hostport() + " " + url);
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
    EXPECT_EQ(j["runs"][0]["status_codes"]["200"], 3);
    EXPECT_EQ(j["runs"][0]["bytes"], 30);
    EXPECT_EQ(j["runs"][0]["connect_ms"]["count"], 3);
    EXPECT_EQ(j["runs"][0]["tls_ms"]["count"], 3);
    EXPECT_EQ(proxy.requests().size(), 3u);
    for (const std::string& rq : proxy.requests()) {
      EXPECT_EQ(rq.rfind("CONNECT " + origin + " HTTP/1.0\r\n", 0), 0u) << rq;
    }
  }
  TConnectProxy refusing("HTTP/1.1 403 Forbidden\r\n\r\n");
  TCliResult r = clirun(dir,
                        "-q --users 2 --output-dir . --json r.json --ca-file cert.pem "
                        "--proxy " +
                            refusing.hostport() + " " + url);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_EQ(occurrences(log, "Socketcode = 10122 (Proxy tunnel (CONNECT) failed.)"), 2u) << log;
  EXPECT_EQ(occurrences(log, ": Proxy tunnel failed: the proxy refused the tunnel to " + origin +
                                 ": 403 Forbidden"),
            2u)
      << log;
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["runs"][0]["socket_codes"]["10122"], 2);
  EXPECT_EQ(j["runs"][0]["errors"], 2);
  EXPECT_EQ(j["runs"][0]["tls_ms"]["count"], 0);
}

TEST(CliTls, TlsResumeIsNamedInTheResultsAndTheJsonSettings) {
  TTempDir dir;
  TTargetServer target({"--tls-self-signed", "--tls-write-cert", dir.file("cert.pem")}, "");
  const std::string url = "https://127.0.0.1:" + std::to_string(target.port()) + "/size/10";
  TCliResult r = clirun(dir,
                        "-q --users 2 --runs 2 --tls-resume --ca-file cert.pem --output-dir . "
                        "--json r.json " +
                            url);
  ASSERT_EQ(r.status, 0) << r.err;
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["settings"]["tls_resume"], true);
  EXPECT_EQ(j["runs"][1]["status_codes"]["200"], 2);
  EXPECT_EQ(occurrences(readfile(dir.file("Pressbolt Results.log")),
                        "Settings: https: each user resumes its TLS session of its previous run"),
            1u);
  ASSERT_EQ(
      clirun(dir, "-q --users 1 --ca-file cert.pem --output-dir . --json r.json " + url).status, 0);
  EXPECT_EQ(nlohmann::json::parse(readfile(dir.file("r.json")))["settings"]["tls_resume"], false);
}

TEST(CliTls, AHandshakeThatNeverEndsIsEndedByTimeoutAndEachRequestCountedOnce) {
  // A port that listens and never accepts: the kernel completes each connection, and nobody
  // answers the hello.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(fd, 16), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  TTempDir dir;
  TCliResult r =
      clirun(dir, "--users 3 --timeout 0.5 --output-dir . --json r.json https://127.0.0.1:" +
                      std::to_string(ntohs(a.sin_port)) + "/");
  close(fd);
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(occurrences(readfile(dir.file("Pressbolt Detailed Results.log")), " Done: "), 3u);
  auto j = nlohmann::json::parse(readfile(dir.file("r.json")));
  EXPECT_EQ(j["runs"][0]["completed"], 3);
  EXPECT_EQ(j["runs"][0]["aborted_requests"], 3);
  EXPECT_EQ(j["runs"][0]["connect_ms"]["count"], 3);
  EXPECT_EQ(j["runs"][0]["tls_ms"]["count"], 0);
}

}  // namespace
