// https through the engine: with TlsResume each user resumes, in its next run, the session it was
// given in its previous one (a returning visitor); without it every handshake is a full one.

#include "EngineFixture.h"
#include "support/TestCerts.h"

namespace {

class EngineTls : public EngineTest {
 protected:
  TTestCa ca{dir.path()};
  TTestCert cert = ca.issue("server", "IP:127.0.0.1");
  TTargetServer secure{{"--tls-cert", cert.cert, "--tls-key", cert.key}, ""};

  void run(bool resume) {
    host.s.url = "https://127.0.0.1:" + std::to_string(secure.port()) + "/size/10";
    host.s.cafile = ca.cafile();
    host.s.users = 3;
    host.s.runs = 3;
    host.s.tlsresume = resume;
    runtest();
    ASSERT_TRUE(host.finished);
  }
};

TEST_F(EngineTls, WithTlsResumeEveryLaterRunResumesEachUsersSession) {
  run(true);
  const std::vector<bool> none(3, false), all(3, true);
  EXPECT_EQ(host.resumed, (std::vector<std::vector<bool>>{none, all, all}));
  EXPECT_TRUE(haslog("Settings: https: each user resumes its TLS session of its previous run"));
}

TEST_F(EngineTls, WithoutItEveryHandshakeIsAFullOne) {
  run(false);
  const std::vector<bool> none(3, false);
  EXPECT_EQ(host.resumed, (std::vector<std::vector<bool>>{none, none, none}));
  EXPECT_TRUE(logwith("Settings: https: each user").empty());
}

}  // namespace
