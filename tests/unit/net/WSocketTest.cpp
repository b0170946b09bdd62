// TWSocket as a client, in libuv's test shape: a loopback peer made here, callbacks counted, the
// loop run, the counts checked, and the loop closed with no handle left.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <string>
#include <vector>

#include "PlainServer.h"
#include "SocketRecorder.h"
#include "net/WSocket.h"
#include "support/FixedResolver.h"

namespace {

TEST(WSocketLookup, DottedAddressIsAnsweredInsideTheCall) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    int done = 0;
    s.OnDnsLookupDone = [&](TWSocket* sender, uint16_t error) {
      EXPECT_EQ(sender, &s);
      EXPECT_EQ(error, 0);
      ++done;
    };
    s.DnsLookup("127.0.0.1");
    EXPECT_EQ(done, 1);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    EXPECT_EQ(s.DnsResultList(), std::vector<std::string>{"127.0.0.1"});
    loop.Run();
    EXPECT_EQ(done, 1);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLookup, OtherNumericFormsAnswerInTheUsualText) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    s.DnsLookup("127.1");
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    EXPECT_EQ(s.DnsResultList(), std::vector<std::string>{"127.0.0.1"});
    s.DnsLookup("0x7f.0.0.2");
    EXPECT_EQ(s.DnsResultList(), std::vector<std::string>{"127.0.0.2"});
    EXPECT_EQ(s.DnsResult(), "127.0.0.2");
    // A name after a number: the list is the lookup's, not the number's.
    s.DnsLookup("localhost");
    EXPECT_EQ(s.DnsResult(), "");
    EXPECT_TRUE(s.DnsResultList().empty());
    loop.Run();
    EXPECT_EQ(errors, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(s.DnsResultList(), std::vector<std::string>{s.DnsResult()});
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLookup, TheSocketsOwnResultMayBeLookedUpAgain) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    s.AddressLookup("127.0.0.1");
    loop.Run();
    ASSERT_EQ(errors, std::vector<int>{0});
    ASSERT_FALSE(s.DnsResult().empty());
    s.DnsLookup(s.DnsResult());  // a name now, read while the lookup starts
    loop.Run();
    ASSERT_EQ(errors, (std::vector<int>{0, 0}));
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    s.DnsLookup(s.DnsResult());  // and a number
    EXPECT_EQ(errors, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  }
  EXPECT_EQ(loop.Close(), 0);
}

// Numeric hosts are parsed once per thread and kept: a later lookup of another text, also one that
// only begins like the kept one, must reach its own address.
TEST(WSocketLookup, EachDottedHostConnectsToItsOwnAddress) {
  TEventLoop loop;
  TPlainServer server;  // on 127.0.0.1 only: any other address is refused
  {
    auto connectto = [&](const std::string& host) {
      TWSocket s(loop);
      std::string outcome = "none";
      s.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
        outcome = e == 0 ? c->PeerAddress() : "error " + std::to_string(e);
        if (e == 0) ::close(server.Accept());
        c->Abort();
      };
      s.DnsLookup(host);
      s.SetAddr(s.DnsResult());
      s.SetPort(server.port);
      s.Connect();
      loop.Run();
      return outcome;
    };
    EXPECT_EQ(connectto("127.0.0.2"), "error 10061");
    EXPECT_EQ(connectto("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(connectto("127.0.0.12"), "error 10061");
    EXPECT_EQ(connectto("127.0.0.1"), "127.0.0.1");
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLookup, NamesAreLookedUpLater) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    s.DnsLookup("localhost");
    EXPECT_TRUE(errors.empty());
    loop.Run();
    ASSERT_EQ(errors, std::vector<int>{0});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");

    TFixedResolver names({{"offline.example", 11002}});
    s.DnsLookup("no-such-host.invalid");
    loop.Run();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1], 11001);
    EXPECT_EQ(s.DnsResult(), "");
    s.DnsLookup("offline.example");
    loop.Run();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[2], 11002);
    EXPECT_EQ(s.DnsResult(), "");
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLookup, CancelFiresInterruptedAndNothingLater) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    s.DnsLookup("localhost");
    s.CancelLookup();
    EXPECT_EQ(errors, std::vector<int>{10004});
    s.CancelLookup();  // nothing pending: no event
    loop.Run();
    EXPECT_EQ(errors, std::vector<int>{10004});
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLookup, EmptyNameIsRefused) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    EXPECT_EQ(thrown([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
    // With OnError the refusal is reported there and the lookup ends with 10022.
    std::vector<std::string> seen;
    s.OnError = [&](TWSocket*) { seen.push_back("error"); };
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t e) { seen.push_back(std::to_string(e)); };
    s.DnsLookup("");
    EXPECT_EQ(seen, (std::vector<std::string>{"error", "10022"}));
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLookup, AddressToName) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t error) { errors.push_back(error); };
    s.AddressLookup("127.0.0.1");
    EXPECT_TRUE(errors.empty());
    loop.Run();
    ASSERT_EQ(errors, std::vector<int>{0});
    EXPECT_FALSE(s.DnsResult().empty());
    EXPECT_EQ(s.DnsResultList(), std::vector<std::string>{s.DnsResult()});
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketConnect, RefusedConnectSequence) {
  TEventLoop loop;
  TPlainServer closedport(false);
  {
    TWSocket s(loop);
    TRecorder r;
    r.attach(s);
    prepare(s, closedport.port);
    s.Connect();
    EXPECT_EQ(r.events, (std::vector<std::string>{"state 7->1", "state 1->3"}));
    loop.Run();
    EXPECT_EQ(r.events, (std::vector<std::string>{"state 7->1", "state 1->3", "state 3->4",
                                                  "connected 10061", "state 4->7", "closed 0"}));
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), TWSocket::INVALID_SOCKET);
    EXPECT_EQ(s.Addr(), "");  // defaults again: the next Connect sets everything anew
    EXPECT_EQ(s.Proto(), "tcp");
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketConnect, RefusalsBeforeAnyNetworkActivity) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    EXPECT_EQ(thrown([&] { s.Connect(); }), "Connect: No Port Specified");
    s.SetPort("80");
    EXPECT_EQ(thrown([&] { s.Connect(); }), "Connect: No IP Address Specified");
    s.SetAddr("127.0.0.1");
    s.SetProto(" ");
    EXPECT_EQ(thrown([&] { s.Connect(); }), "Connect: No Protocol Specified");
    s.SetProto("tcp");
    s.SetPort("99999");
    EXPECT_EQ(thrown([&] { s.Connect(); }), "connect: WSocketResolvePort: Invalid Port.");
    s.SetPort(server.port);
    s.SetAddr("999.1.1.1");
    EXPECT_EQ(thrown([&] { s.Connect(); }),
              "connect: WSocketResolveHost: '999.1.1.1' Invalid IP address.");
    EXPECT_EQ(s.State(), wsClosed);
    s.SetAddr("127.0.0.1");
    s.Connect();
    EXPECT_EQ(s.State(), wsConnecting);
    EXPECT_EQ(thrown([&] { s.Connect(); }), "Connect: Socket already in use");
    s.Close();
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketConnect, SettersRefuseWhileNotClosed) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    s.SetPort(" 80 ");
    EXPECT_EQ(s.Port(), "80");
    prepare(s, server.port);
    s.Connect();
    EXPECT_EQ(thrown([&] { s.SetPort("81"); }), "Cannot change Port if not closed");
    EXPECT_EQ(thrown([&] { s.SetPort(server.port); }), "(nothing thrown)");  // same value
    EXPECT_EQ(thrown([&] { s.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(thrown([&] { s.SetProto("udp"); }), "Cannot change Proto if not closed");
    EXPECT_EQ(thrown([&] { s.SetLocalPort("0"); }), "Cannot change LocalPort if not closed");
    EXPECT_EQ(thrown([&] { s.SetSendFlags(7); }), "Invalid SendFlags");
    EXPECT_EQ(s.Port(), server.port);
    s.Abort();
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketSend, NotConnectedRaisesSocketError) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::string text = thrown([&] { s.SendString("x"); });
    EXPECT_EQ(text, "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(s.LastError(), 10057);
    int errors = 0;
    s.OnError = [&](TWSocket*) { ++errors; };
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(errors, 1);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketSend, ConnectSendReceiveAndPeerClose) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    int peer = -1, sent = 0;
    bool insidesend = false;
    std::string got, peergot;
    int64_t readcount = -1;
    std::vector<std::string> closed;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
      ASSERT_EQ(e, 0);
      EXPECT_EQ(c->PeerAddress(), "127.0.0.1");
      EXPECT_NE(c->LocalPortText(), "error");
      peer = server.Accept();
      insidesend = true;
      EXPECT_EQ(c->SendString("hello"), 5);
      insidesend = false;
    };
    s.OnDataSent = [&](TWSocket*, uint16_t e) {
      EXPECT_FALSE(insidesend);
      EXPECT_EQ(e, 0);
      ++sent;
      peergot = readexactly(peer, 5);
      writeall(peer, "world");
      ::close(peer);
    };
    s.OnDataAvailable = [&](TWSocket* c, uint16_t) { got += c->ReceiveString(); };
    s.OnSessionClosed = [&](TWSocket* c, uint16_t e) {
      closed.push_back(std::to_string(e));
      readcount = c->ReadCount();
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(peergot, "hello");
    EXPECT_EQ(got, "world");
    EXPECT_EQ(readcount, 5);
    EXPECT_EQ(closed, std::vector<std::string>{"0"});
    EXPECT_EQ(s.State(), wsClosed);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketSend, FiveThousandBytesAndOneDataSentAfterSendReturned) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    int peer = -1, sent = 0;
    bool returned = false;
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      peer = server.Accept();
      EXPECT_EQ(c->Send(data.data(), 5000), 5000);
      returned = true;
      EXPECT_EQ(sent, 0);
    };
    s.OnDataSent = [&](TWSocket* c, uint16_t) {
      EXPECT_TRUE(returned);
      ++sent;
      EXPECT_EQ(c->BufferedBytes(), 0);
      c->Close();
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(readexactly(peer, 5000), data);
    ::close(peer);
  }
  EXPECT_EQ(loop.Close(), 0);
}

// A peer that reads slowly: the platform takes only part of the data, the rest waits in chunks
// and leaves on write readiness; OnDataSent still fires once, at the very end.
TEST(WSocketSend, LargeSendWaitsInChunksAndArrivesIntact) {
  TEventLoop loop;
  TPlainServer server(true, 4096);
  {
    TWSocket s(loop);
    int peer = -1, sent = 0;
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
    std::string peergot;
    std::optional<TFdWatch> peerwatch;
    struct TPeerReader : TFdWatchHandler {
      int fd = -1;
      std::string* into = nullptr;
      void FdReady(int, int) override {
        char buf[65536];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) into->append(buf, static_cast<size_t>(n));
      }
    } reader;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      int small = 4096;
      setsockopt(c->HSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
      peer = server.Accept();
      EXPECT_EQ(c->Send(data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
      EXPECT_GT(c->BufferedBytes(), 0);
      EXPECT_GT(c->BufferedChunks(), 1);
      reader.fd = peer;
      reader.into = &peergot;
      peerwatch.emplace(loop, peer, &reader);
      peerwatch->Start(UV_READABLE);
    };
    s.OnDataSent = [&](TWSocket* c, uint16_t) {
      ++sent;
      EXPECT_EQ(c->BufferedBytes(), 0);
      // No Close here: with the default linger a close resets the connection and drops what
      // the platform still holds.
    };
    s.Connect();
    while (peergot.size() < data.size() && loop.RunOnce(true)) {
    }
    EXPECT_EQ(sent, 1);
    EXPECT_TRUE(peergot == data) << peergot.size();
    s.Close();
    peerwatch.reset();
    ::close(peer);
  }
  EXPECT_EQ(loop.Close(), 0);
}

// Flush outside the loop runs the loop itself until the platform has taken everything.
TEST(WSocketSend, FlushWaitsUntilEverythingIsHandedOver) {
  TEventLoop loop;
  TPlainServer server(true, 4096);
  {
    TWSocket s(loop);
    int peer = -1, sent = 0;
    std::string peergot, data(256 * 1024, 'f');
    struct TPeerReader : TFdWatchHandler {
      int fd = -1;
      std::string* into = nullptr;
      void FdReady(int, int) override {
        char buf[65536];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) into->append(buf, static_cast<size_t>(n));
      }
    } reader;
    std::optional<TFdWatch> peerwatch;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      int small = 4096;
      setsockopt(c->HSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
      peer = server.Accept();
      reader.fd = peer;
      reader.into = &peergot;
      peerwatch.emplace(loop, peer, &reader);
      peerwatch->Start(UV_READABLE);
    };
    s.OnDataSent = [&](TWSocket*, uint16_t) { ++sent; };
    s.Connect();
    while (s.State() != wsConnected && loop.RunOnce(true)) {
    }
    s.Send(data.data(), static_cast<int>(data.size()));
    EXPECT_GT(s.BufferedBytes(), 0);
    s.Flush();
    EXPECT_EQ(s.BufferedBytes(), 0);
    EXPECT_EQ(sent, 0);  // still deferred
    while (peergot.size() < data.size() && loop.RunOnce(true)) {
    }
    EXPECT_EQ(sent, 1);
    EXPECT_TRUE(peergot == data) << peergot.size();
    s.Close();
    peerwatch.reset();
    ::close(peer);
  }
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
