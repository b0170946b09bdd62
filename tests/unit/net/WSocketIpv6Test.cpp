// TWSocket with IPv6 literals: numeric lookups with and without brackets, damaged addresses that
// must never become name lookups, and real connections on ::1 (skipped where the machine has no
// IPv6 loopback address).

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "PlainServer.h"
#include "net/SocketResolve.h"
#include "net/WSocket.h"
#include "support/FixedResolver.h"
#include "support/TargetServer.h"

namespace {

// A plain blocking socket on ::1: listening, or (listening false) only bound, so a connect to it
// is refused.
struct TPlainServer6 {
  int fd = -1;
  std::string port;
  explicit TPlainServer6(bool listening = true) {
    fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (listening) ::listen(fd, 16);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = std::to_string(ntohs(a.sin6_port));
  }
  ~TPlainServer6() { ::close(fd); }
  TPlainServer6(const TPlainServer6&) = delete;
  TPlainServer6& operator=(const TPlainServer6&) = delete;
  int Accept() const { return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
};

std::string thrown(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(WSocketIpv6, LiteralsAreAnsweredInsideTheCallInTheirShortForm) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    const std::pair<const char*, const char*> cases[] = {
        {"[::1]", "::1"},
        {"::1", "::1"},
        {"[0:0:0:0:0:0:0:1]", "::1"},
        {"[2001:DB8::7]", "2001:db8::7"},
        {"[::ffff:127.0.0.1]", "::ffff:127.0.0.1"},
    };
    for (const auto& [text, want] : cases) {
      s.DnsLookup(text);
      EXPECT_EQ(s.DnsResult(), want) << text;
      EXPECT_EQ(s.DnsResultList(), std::vector<std::string>{want}) << text;
    }
    EXPECT_EQ(errors.size(), std::size(cases));
    loop.Run();
    EXPECT_EQ(errors, std::vector<int>(std::size(cases), 0));
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketIpv6, DamagedAddressesAreNotFoundWithoutAskingTheResolver) {
  TFixedResolver resolver;
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    for (const char* damaged : {"[zz]", "[::1", "[::1]x", "::zz", "[fe80::1%25lo]"}) {
      errors.clear();
      s.DnsLookup(damaged);
      EXPECT_TRUE(errors.empty()) << damaged;  // later, as for any name
      loop.Run();
      EXPECT_EQ(errors, std::vector<int>{11001}) << damaged;
    }
    EXPECT_TRUE(resolver.asked.empty());
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketIpv6, AddressesResolveInTheirFamily) {
  TSocketAddress a = wsocketresolveaddress("[::1]");
  EXPECT_EQ(a.sa.sa_family, AF_INET6);
  EXPECT_EQ(addresslength(a), sizeof(sockaddr_in6));
  EXPECT_EQ(ipv6text(a.v6.sin6_addr), "::1");
  setaddressport(a, htons(8080));
  EXPECT_EQ(ntohs(a.v6.sin6_port), 8080);
  EXPECT_EQ(ntohs(addressport(a)), 8080);
  a = wsocketresolveaddress("127.0.0.1");
  EXPECT_EQ(a.sa.sa_family, AF_INET);
  EXPECT_EQ(addresslength(a), sizeof(sockaddr_in));
  EXPECT_EQ(dottedtext(a.v4.sin_addr), "127.0.0.1");
  EXPECT_EQ(thrown([] { wsocketresolveaddress("[zz]"); }),
            "WSocketResolveHost: '[zz]' Invalid IP address.");
  EXPECT_EQ(thrown([] { wsocketresolveaddress("::zz"); }),
            "WSocketResolveHost: '::zz' Invalid IP address.");
  EXPECT_EQ(thrown([] { wsocketresolveaddress("[127.0.0.1]"); }),
            "WSocketResolveHost: '[127.0.0.1]' Invalid IP address.");
}

TEST(WSocketIpv6, ConnectSendAndPeerAddressOnLoopback) {
  if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  TEventLoop loop;
  TPlainServer6 server;
  {
    TWSocket s(loop);
    std::string peergot, got;
    int peer = -1;
    s.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
      ASSERT_EQ(e, 0);
      EXPECT_EQ(c->PeerAddress(), "::1");
      EXPECT_NE(c->LocalPortText(), "error");
      peer = server.Accept();
      c->SendString("hello");
    };
    s.OnDataSent = [&](TWSocket*, uint16_t) {
      peergot = readexactly(peer, 5);
      writeall(peer, "world");
      ::close(peer);
    };
    s.OnDataAvailable = [&](TWSocket* c, uint16_t) { got += c->ReceiveString(); };
    // The address as a lookup answers it, which is how the HTTP client connects.
    s.SetAddr("::1");
    s.SetPort(server.port);
    s.Connect();
    loop.Run();
    EXPECT_EQ(peergot, "hello");
    EXPECT_EQ(got, "world");
    EXPECT_EQ(s.State(), wsClosed);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketIpv6, ClosedPortIsRefused) {
  if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  TEventLoop loop;
  TPlainServer6 closed(false);
  {
    TWSocket s(loop);
    std::vector<int> connected;
    s.OnSessionConnected = [&](TWSocket*, uint16_t e) { connected.push_back(e); };
    s.SetAddr("[::1]");
    s.SetPort(closed.port);
    s.Connect();
    loop.Run();
    EXPECT_EQ(connected, std::vector<int>{10061});
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketIpv6, ListensAndBindsInItsOwnFamily) {
  if (!haveipv6loopback()) GTEST_SKIP() << kNoIpv6Loopback;
  TEventLoop loop;
  {
    TWSocket server(loop);
    server.SetAddr("::1");
    server.SetPort("0");
    server.Listen();
    ASSERT_EQ(server.State(), wsListening);
    std::string port = server.LocalPortText();
    ASSERT_NE(port, "error");
    ASSERT_NE(port, "0");

    // A client with a source port of its own binds it on IPv6 as well.
    TPlainServer6 spare(false);  // a free port number of ::1, released for the client
    std::string local = spare.port;
    ::close(spare.fd);
    spare.fd = -1;
    TWSocket client(loop);
    TWSocket accepted(loop);
    std::string clientlocal;
    server.OnSessionAvailable = [&](TWSocket* l, uint16_t) {
      accepted.Dup(l->Accept());
      EXPECT_EQ(accepted.PeerAddress(), "::1");
      accepted.Close();
      server.Close();
    };
    client.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
      EXPECT_EQ(e, 0);
      clientlocal = c->LocalPortText();
    };
    client.SetAddr("::1");
    client.SetPort(port);
    client.SetLocalPort(local);
    client.Connect();
    loop.Run();
    EXPECT_EQ(clientlocal, local);
  }
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
