// https through an HTTP proxy on loopback: the tunnel (CONNECT) to pressbolt-target with TLS, what
// goes to the proxy and what to the origin, a proxy that opens no tunnel, and relocations between
// http (the absolute URL to the proxy) and https (a tunnel).

#include <gtest/gtest.h>

#include <algorithm>

#include "ClientSession.h"
#include "net/TlsContext.h"
#include "support/ConnectProxy.h"
#include "support/TargetServer.h"
#include "support/TestCerts.h"
#include "support/TestSupport.h"

namespace {

class ClientProxyTunnel : public ::testing::Test {
 protected:
  TTempDir dir;
  TTestCa ca{dir.path()};
  TTestCert cert = ca.issue("server", "IP:127.0.0.1,DNS:localhost");
  TTlsContext trusting{TTlsOptions{ca.cafile(), false}};
  TTargetServer origin{{"--tls-cert", cert.cert, "--tls-key", cert.key}, ""};

  std::string https(const std::string& host, const std::string& path) const {
    return "https://" + host + ":" + std::to_string(origin.port()) + path;
  }
  std::string authority(const std::string& host) const {
    return host + ":" + std::to_string(origin.port());
  }
  void get(TClientSession& s, const std::string& url, const std::string& proxy) {
    s.cli.URL = url;
    s.cli.Proxy = proxy;
    s.cli.TlsContext = &trusting;
    s.cli.Get();
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.log.Done, 1);
  }
  static bool connected(const TClientSession& s) {
    return std::find(s.log.Events.begin(), s.log.Events.end(), "SessionConnected") !=
           s.log.Events.end();
  }
};

TEST_F(ClientProxyTunnel, TheProxyGetsConnectAndTheOriginTheRequestInsideTls) {
  TConnectProxy proxy;
  TClientSession s;
  s.cli.ProxyUsername = "pu";
  s.cli.ProxyPassword = "pp";
  get(s, "https://u:p@" + authority("127.0.0.1") + "/echo?x=1", proxy.hostport());
  EXPECT_EQ(s.log.Error, 0) << s.cli.ReasonPhrase;
  EXPECT_EQ(s.cli.StatusCode, 200);
  EXPECT_EQ(s.cli.ConnectPort, std::to_string(proxy.port()));
  // The proxy learns where to and who asks; the path and the origin's credentials stay inside.
  EXPECT_EQ(proxy.requests(),
            std::vector<std::string>{"CONNECT " + authority("127.0.0.1") +
                                     " HTTP/1.0\r\nHost: " + authority("127.0.0.1") +
                                     "\r\nProxy-Authorization: Basic "
                                     "cHU6cHA=\r\n\r\n"});
  // The origin sees the path form, as on a direct connection, and nothing meant for the proxy.
  EXPECT_EQ(s.log.Doc, "GET /echo?x=1 HTTP/1.0\r\nHost: " + authority("127.0.0.1") +
                           "\r\nAuthorization: Basic dTpw\r\n\r\n");
  // Connect is the proxy's; the handshake starts once the tunnel stands.
  const THttpCli::TWireTimes& w = s.cli.WireTimes();
  EXPECT_GE(w.connected, w.connectbegan);
  EXPECT_GE(w.tlsbegan, w.connected);
  EXPECT_GE(w.tlsdone, w.tlsbegan);

  // A host name is checked against the certificate through the tunnel as it is directly.
  TClientSession named;
  get(named, https("localhost", "/size/5000"), proxy.hostport());
  EXPECT_EQ(named.log.Error, 0) << named.cli.ReasonPhrase;
  EXPECT_EQ(named.log.Doc.size(), 5000u);
  EXPECT_EQ(proxy.requests().back().rfind("CONNECT " + authority("localhost") + " HTTP/1.0", 0),
            0u);
}

TEST_F(ClientProxyTunnel, AProxyThatOpensNoTunnelFailsTheRequestOnceWithItsWords) {
  struct TCase {
    std::string answer, reason;
  };
  const std::string to = authority("127.0.0.1");
  const TCase cases[] = {
      {"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
       "Content-Length: 5\r\n\r\nnope!",
       "the proxy refused the tunnel to " + to + ": 407 Proxy Authentication Required"},
      {"HTTP/1.0 403 Forbidden\r\n\r\n",
       "the proxy refused the tunnel to " + to + ": 403 Forbidden"},
      {"", "the proxy closed the connection before answering CONNECT"},
      {"SSH-2.0-OpenSSH_9.2\r\n", "the proxy closed the connection before answering CONNECT"},
      {"SSH-2.0-OpenSSH_9.2\r\n\r\n",
       "the proxy's answer to CONNECT is not HTTP: \"SSH-2.0-OpenSSH_9.2\""},
      {"HTTP/1.1 200 OK\r\n\r\nhello",
       "the proxy sent 5 bytes after its answer to CONNECT, before the TLS handshake"},
      {"HTTP/1.1 200 OK\r\n" + std::string(20000, 'a'),
       "the proxy's answer to CONNECT did not end within 16384 bytes"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.answer.substr(0, 40));
    TConnectProxy proxy(c.answer);
    TClientSession s;
    get(s, https("127.0.0.1", "/"), proxy.hostport());
    EXPECT_EQ(s.log.Error, 10122);
    EXPECT_EQ(s.cli.StatusCode, 404);
    EXPECT_EQ(s.cli.ReasonPhrase, "Proxy tunnel failed: " + c.reason);
    EXPECT_FALSE(connected(s)) << "no request went out";
    EXPECT_EQ(s.cli.WireTimes().tlsbegan, 0);
  }
  // The default port of https is what the tunnel asks for; nothing listens there on loopback.
  TConnectProxy proxy;
  TClientSession s;
  get(s, "https://127.0.0.1/", proxy.hostport());
  EXPECT_EQ(s.log.Error, 10122);
  EXPECT_EQ(s.cli.ReasonPhrase,
            "Proxy tunnel failed: the proxy refused the tunnel to 127.0.0.1:443: 502 Bad Gateway");
}

TEST_F(ClientProxyTunnel, RelocationsBetweenSchemesSwitchBetweenTunnelAndAbsoluteUrl) {
  TConnectProxy proxy;
  TTargetServer plain;
  // http -> https: the first request goes to the proxy as a URL, the second through a tunnel.
  {
    TClientSession s;
    get(s, plain.url("/redirect?to=" + urlencode(https("localhost", "/echo"))), proxy.hostport());
    EXPECT_EQ(s.log.Error, 0) << s.cli.ReasonPhrase;
    EXPECT_EQ(s.cli.StatusCode, 200);
    const std::vector<std::string> seen = proxy.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].rfind("GET " + plain.url("/redirect?to="), 0), 0u) << seen[0];
    EXPECT_EQ(seen[1].rfind("CONNECT " + authority("localhost") + " HTTP/1.0\r\n", 0), 0u);
    EXPECT_EQ(s.log.Doc.rfind("GET /echo HTTP/1.0\r\nHost: " + authority("localhost") + "\r\n", 0),
              0u)
        << s.log.Doc;
    EXPECT_GT(s.cli.WireTimes().tlsdone, 0);
  }
  // https -> http: a tunnel first, then the URL to the proxy, in plain text.
  {
    TClientSession s;
    get(s, https("127.0.0.1", "/redirect?to=" + urlencode(plain.url("/echo"))), proxy.hostport());
    EXPECT_EQ(s.log.Error, 0) << s.cli.ReasonPhrase;
    EXPECT_EQ(s.log.Doc.rfind("GET " + plain.url("/echo") + " HTTP/1.0\r\n", 0), 0u) << s.log.Doc;
    EXPECT_EQ(s.cli.WireTimes().tlsdone, 0);
  }
  // https -> https on the same origin: a new tunnel, the path inside it.
  {
    TClientSession s;
    const size_t before = proxy.requests().size();
    get(s, https("127.0.0.1", "/redirect?to=/echo"), proxy.hostport());
    EXPECT_EQ(s.log.Error, 0) << s.cli.ReasonPhrase;
    EXPECT_EQ(proxy.requests().size(), before + 2);
    EXPECT_EQ(s.log.Doc.rfind("GET /echo HTTP/1.0\r\n", 0), 0u) << s.log.Doc;
  }
}

}  // namespace
