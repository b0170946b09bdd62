// The tunnel through a proxy: the CONNECT request's text, and the reading of the proxy's answer
// in any pieces, up to its empty line and no further.

#include <gtest/gtest.h>

#include "http/ProxyTunnel.h"

namespace {

TProxyTunnel::TStep takeall(TProxyTunnel& t, const std::string& bytes) {
  return t.Take(bytes.data(), bytes.size());
}

TEST(ProxyTunnel, TheRequestNamesTheOriginTwiceAndTheProxyCredentialsOnlyWhenGiven) {
  EXPECT_EQ(TProxyTunnel::Request("origin.test:443", "", "ignored"),
            "CONNECT origin.test:443 HTTP/1.0\r\nHost: origin.test:443\r\n\r\n");
  EXPECT_EQ(TProxyTunnel::Request("[::1]:8443", "pu", "pp"),
            "CONNECT [::1]:8443 HTTP/1.0\r\nHost: [::1]:8443\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
}

TEST(ProxyTunnel, AnAnswerInSingleBytesOpensAtItsEmptyLineAndNotBefore) {
  const std::string answer = "HTTP/1.1 200 Connection established\r\nVia: 1.1 proxy\r\n\r\n";
  TProxyTunnel t;
  for (size_t i = 0; i + 1 < answer.size(); ++i) {
    ASSERT_EQ(t.Take(&answer[i], 1), TProxyTunnel::ptWaiting) << i;
  }
  EXPECT_EQ(t.Take(&answer.back(), 1), TProxyTunnel::ptOpen);
  EXPECT_EQ(t.Status(), 200);
  EXPECT_EQ(t.StatusText(), "200 Connection established");
  EXPECT_EQ(t.Extra(), 0u);
  // The answer is over: nothing later changes it.
  EXPECT_EQ(takeall(t, "HTTP/1.1 500 No\r\n\r\n"), TProxyTunnel::ptOpen);

  TProxyTunnel bare;  // line ends without CR, and no reason
  EXPECT_EQ(takeall(bare, "HTTP/1.0 204\n\n"), TProxyTunnel::ptOpen);
  EXPECT_EQ(bare.StatusText(), "204");
}

TEST(ProxyTunnel, AnotherStatusIsARefusalAndTheBytesAfterTheAnswerAreCounted) {
  TProxyTunnel t;
  EXPECT_EQ(takeall(t,
                    "HTTP/1.1 407 Proxy Authentication Required\r\n"
                    "Proxy-Authenticate: Basic realm=\"p\"\r\n\r\n<html>"),
            TProxyTunnel::ptRefused);
  EXPECT_EQ(t.Status(), 407);
  EXPECT_EQ(t.StatusText(), "407 Proxy Authentication Required");
  EXPECT_EQ(t.Extra(), 6u);

  // An end split across two reads, with bytes behind it.
  TProxyTunnel split;
  EXPECT_EQ(takeall(split, "HTTP/1.1 200 OK\r\n\r"), TProxyTunnel::ptWaiting);
  EXPECT_EQ(takeall(split, "\nxyz"), TProxyTunnel::ptOpen);
  EXPECT_EQ(split.Extra(), 3u);

  // 1xx is no tunnel either; the proxy's words reach the log as one printable line.
  TProxyTunnel info;
  EXPECT_EQ(takeall(info, std::string("HTTP/1.1 100 Go\x01on\r\n\r\n")), TProxyTunnel::ptRefused);
  EXPECT_EQ(info.StatusText(), "100 Go?on");
}

TEST(ProxyTunnel, WhatIsNoHttpStatusLineOrHasNoEndIsBad) {
  for (const std::string bad :
       {"SSH-2.0-OpenSSH_9.2\r\n\r\n", "HTTP/1.1 20 OK\r\n\r\n", "HTTP/1.1 2000 OK\r\n\r\n",
        "http/1.1 200 OK\r\n\r\n", "HTTP/1.1200 OK\r\n\r\n", "\r\n\r\n"}) {
    TProxyTunnel t;
    EXPECT_EQ(takeall(t, bad), TProxyTunnel::ptBad) << bad;
    EXPECT_EQ(t.Problem(), "the proxy's answer to CONNECT is not HTTP: \"" +
                               bad.substr(0, bad.find('\r')) + "\"");
  }
  TProxyTunnel noisy;
  EXPECT_EQ(takeall(noisy, "\x16\x03\x01" + std::string(200, 'z') + "\n\n"), TProxyTunnel::ptBad);
  EXPECT_EQ(noisy.Problem(),
            "the proxy's answer to CONNECT is not HTTP: \"???" + std::string(77, 'z') + "...\"");

  TProxyTunnel endless;
  const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
  EXPECT_EQ(takeall(endless, "HTTP/1.1 200 OK\r\n"), TProxyTunnel::ptWaiting);
  TProxyTunnel::TStep step = TProxyTunnel::ptWaiting;
  size_t taken = 17;
  while (step == TProxyTunnel::ptWaiting && taken < 2 * TProxyTunnel::MaxAnswerBytes) {
    step = takeall(endless, line);
    taken += line.size();
  }
  EXPECT_EQ(step, TProxyTunnel::ptBad);
  EXPECT_GT(taken, TProxyTunnel::MaxAnswerBytes);
  EXPECT_LT(taken, TProxyTunnel::MaxAnswerBytes + line.size() + 1);
  EXPECT_EQ(endless.Problem(), "the proxy's answer to CONNECT did not end within 16384 bytes");
}

}  // namespace
