// pressbolt-cli against https: what the log, the Results and the JSON say of the trust in force,
// and a certificate that is not accepted counted once per request with its cause.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliProcess.h"
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

}  // namespace
