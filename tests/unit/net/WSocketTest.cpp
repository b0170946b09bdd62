// TWSocket as a client, in libuv's test shape: a loopback peer made here, callbacks counted, the
// loop run, the counts checked, and the loop closed with no handle left.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <string>
#include <vector>

#include "PlainServer.h"
#include "net/WSocket.h"
#include "support/FixedResolver.h"

namespace {

// Records every event of a socket as one text line, in order.
struct TRecorder {
  std::vector<std::string> events;
  void attach(TWSocket& s) {
    s.OnChangeState = [this](TWSocket*, TSocketState o, TSocketState n) {
      events.push_back("state " + std::to_string(o) + "->" + std::to_string(n));
    };
    s.OnSessionConnected = [this](TWSocket*, uint16_t e) {
      events.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TWSocket*, uint16_t e) {
      events.push_back("closed " + std::to_string(e));
    };
  }
};

void prepare(TWSocket& s, const std::string& port) {
  s.SetAddr("127.0.0.1");
  s.SetPort(port);
  s.SetProto("tcp");
}

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

TEST(WSocketClose, PendingDataArriveBeforeSessionClosed) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    std::vector<std::string> order;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket*, uint16_t) {
      int peer = server.Accept();
      writeall(peer, "abcdefg");
      ::close(peer);  // data and the close are both waiting at the next readiness
    };
    s.OnDataAvailable = [&](TWSocket* c, uint16_t) {
      char buf[3];
      int n = c->Receive(buf, sizeof buf);  // small reads: the read loop asks again
      if (n > 0) order.push_back(std::string(buf, static_cast<size_t>(n)));
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t e) {
      order.push_back("closed " + std::to_string(e));
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(order, (std::vector<std::string>{"abc", "def", "g", "closed 0"}));
  }
  EXPECT_EQ(loop.Close(), 0);
}

// The socket answers the read after the peer's end itself when it knows the queue is empty. Data
// that arrive after a short read, or beyond an urgent mark where a read stops short, must still
// come from the kernel.
TEST(WSocketClose, EveryByteArrivesBeforeAnEndTheSocketAnswersItself) {
  struct TCase {
    const char* name;
    bool urgent;  // "X" sent as urgent data between the two halves
    bool later;   // the second half and the close come only after the first half was read
  };
  for (const TCase& t : {TCase{"together", false, false}, TCase{"urgent mark", true, false},
                         TCase{"second half later", false, true}}) {
    SCOPED_TRACE(t.name);
    TEventLoop loop;
    TPlainServer server;
    {
      TWSocket s(loop);
      std::string got;
      int closed = 0, reads = 0;
      int peer = -1;
      auto rest = [&] {
        writeall(peer, "def");
        ::close(peer);
      };
      prepare(s, server.port);
      s.OnSessionConnected = [&](TWSocket*, uint16_t) {
        peer = server.Accept();
        writeall(peer, "abc");
        if (t.urgent) ::send(peer, "X", 1, MSG_OOB);
        if (!t.later) rest();
      };
      s.OnDataAvailable = [&](TWSocket* c, uint16_t) {
        char buf[64];
        int n = c->Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        if (n > 0 && t.later && ++reads == 1) rest();
      };
      s.OnSessionClosed = [&](TWSocket*, uint16_t e) {
        EXPECT_EQ(e, 0);
        ++closed;
      };
      s.Connect();
      loop.Run();
      EXPECT_EQ(got, "abcdef");  // the urgent byte is not part of the stream
      EXPECT_EQ(closed, 1);
    }
    EXPECT_EQ(loop.Close(), 0);
  }
}

TEST(WSocketClose, SessionClosedFiresOnceWhateverCloses) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    int closed = 0;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket*, uint16_t) {
      int peer = server.Accept();
      writeall(peer, "x");
      ::close(peer);
    };
    // No data handler: the socket reads and discards the data itself.
    s.OnSessionClosed = [&](TWSocket* c, uint16_t) {
      ++closed;
      c->Close();  // a Close inside the close notification
    };
    s.Connect();
    loop.Run();
    s.Close();  // and one after it
    EXPECT_EQ(closed, 1);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketClose, CloseInsideDataHandlerEndsTheConnectionOnce) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    int closed = 0, data = 0;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket*, uint16_t) {
      int peer = server.Accept();
      writeall(peer, "xyz");
      ::close(peer);
    };
    s.OnDataAvailable = [&](TWSocket* c, uint16_t) {
      ++data;
      c->Close();
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t) { ++closed; };
    s.Connect();
    loop.Run();
    EXPECT_EQ(data, 1);
    EXPECT_EQ(closed, 1);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketClose, AbortResetsTheConnection) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    int peer = -1;
    std::vector<std::string> events;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      peer = server.Accept();
      c->SendString("unsent?");
      c->Abort();
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t e) {
      events.push_back("closed " + std::to_string(e));
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(events, std::vector<std::string>{"closed 0"});
    char buf[64];
    ssize_t n;
    do {
      n = ::read(peer, buf, sizeof buf);
    } while (n > 0);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(errno, ECONNRESET);
    ::close(peer);
  }
  EXPECT_EQ(loop.Close(), 0);
}

// The default linger (on, 0 s) resets the connection at the close: no FIN goes out before the
// reset. Without a linger setting the close still shuts the sending side down first.
TEST(WSocketClose, ResettingCloseSendsNoFinFirst) {
  TEventLoop loop;
  TPlainServer server;
  for (bool reset : {true, false}) {
    TWSocket s(loop);
    int peer = -1;
    prepare(s, server.port);
    if (!reset) s.SetLingerOnOff(wsLingerNoSet);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      peer = server.Accept();
      c->Close();
    };
    s.Connect();
    loop.Run();
    char buf[8];
    ssize_t n = ::read(peer, buf, sizeof buf);
    if (reset) {
      EXPECT_EQ(n, -1);
      EXPECT_EQ(errno, ECONNRESET);
    } else {
      EXPECT_EQ(n, 0);
    }
    ::close(peer);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketClose, PeerResetIsTheCloseReason) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    std::vector<std::string> events;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket*, uint16_t) {
      int peer = server.Accept();
      linger l{1, 0};
      setsockopt(peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      ::close(peer);
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t e) {
      events.push_back("closed " + std::to_string(e));
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(events, std::vector<std::string>{"closed 10054"});
    EXPECT_EQ(s.State(), wsClosed);
  }
  EXPECT_EQ(loop.Close(), 0);
}

// A send on a connection the peer has reset closes it inside Send, with the reset as the reason,
// exactly once.
TEST(WSocketSend, SendAfterPeerResetClosesWithTheReason) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    std::vector<std::string> events;
    bool insend = false;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      int peer = server.Accept();
      linger l{1, 0};
      setsockopt(peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      ::close(peer);
      insend = true;
      c->SendString("too late");
      insend = false;
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t e) {
      events.push_back((insend ? "in send: closed " : "closed ") + std::to_string(e));
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(events, std::vector<std::string>{"in send: closed 10054"});
    EXPECT_EQ(s.State(), wsClosed);
  }
  EXPECT_EQ(loop.Close(), 0);
}

// A connect that fails inside the call (TCP to the broadcast address: no packet leaves) closes
// its half-made socket before reporting, so nothing leaks and no session-closed event follows.
TEST(WSocketConnect, ImmediateConnectFailureLeavesTheSocketClosed) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    TRecorder r;
    r.attach(s);
    s.SetAddr("255.255.255.255");
    s.SetPort("80");
    std::string text = thrown([&] { s.Connect(); });
    EXPECT_EQ(text.rfind("Error " + std::to_string(s.LastError()) + " in function Connect\r\n", 0),
              0u)
        << text;
    EXPECT_NE(s.LastError(), 0);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), TWSocket::INVALID_SOCKET);
    EXPECT_EQ(r.events, (std::vector<std::string>{"state 7->1", "state 1->7"}));
    loop.Run();
    EXPECT_EQ(r.events.size(), 2u);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketClose, AbortDuringLookupCancelsIt) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    std::vector<int> errors;
    s.OnDnsLookupDone = [&](TWSocket*, uint16_t e) { errors.push_back(e); };
    s.DnsLookup("localhost");
    s.Abort();
    loop.Run();
    EXPECT_EQ(errors, std::vector<int>{10004});
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketErrors, HandlerExceptionGoesToBgExceptionAndAborts) {
  TEventLoop loop;
  TPlainServer server;
  std::string reported;
  TEventLoop::SetExceptionHook([&](const std::string& what) { reported = what; });
  {
    TWSocket s(loop);
    std::string bg;
    int closed = 0;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket*, uint16_t) { throw std::runtime_error("boom"); };
    s.OnBgException = [&](TWSocket*, const std::exception& e, bool& canclose) {
      bg = e.what();
      EXPECT_TRUE(canclose);
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t) { ++closed; };
    s.Connect();
    loop.Run();
    EXPECT_EQ(bg, "boom");
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(s.State(), wsClosed);
  }
  TEventLoop::SetExceptionHook(nullptr);
  EXPECT_EQ(reported, "");  // nothing reached the loop
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketErrors, DataHandlerExceptionIsSwallowed) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    int bg = 0, closed = 0;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket*, uint16_t) {
      int peer = server.Accept();
      writeall(peer, "data");
      ::close(peer);
    };
    s.OnDataAvailable = [&](TWSocket* c, uint16_t) {
      c->ReceiveString();
      throw std::runtime_error("bad data");
    };
    s.OnBgException = [&](TWSocket*, const std::exception&, bool&) { ++bg; };
    s.OnSessionClosed = [&](TWSocket*, uint16_t) { ++closed; };
    s.Connect();
    loop.Run();
    EXPECT_EQ(bg, 0);
    EXPECT_EQ(closed, 1);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketErrors, TooManyOpenFilesIsAnOrdinaryError) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    prepare(s, server.port);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit tiny = before;
    tiny.rlim_cur = 3;  // 0, 1 and 2 are taken: any new descriptor fails
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tiny), 0);
    std::string text = thrown([&] { s.Connect(); });
    setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(text, "Error 10024 in function Connect (socket)\r\nToo many open files");
    EXPECT_EQ(s.LastError(), 10024);
    EXPECT_EQ(s.State(), wsClosed);
    // The object stays usable.
    int connected = -1;
    s.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
      connected = e;
      c->Close();
    };
    s.Connect();
    loop.Run();
    EXPECT_EQ(connected, 0);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketPause, NothingArrivesWhilePaused) {
  TEventLoop loop;
  TPlainServer server;
  {
    TWSocket s(loop);
    TNoticeTarget notices(loop);
    std::vector<std::string> order;
    prepare(s, server.port);
    s.OnSessionConnected = [&](TWSocket* c, uint16_t) {
      c->Pause();
      int peer = server.Accept();
      writeall(peer, "late");
      ::close(peer);
      notices.Post([&] {
        order.push_back("resume");
        s.Resume();
      });
    };
    s.OnDataAvailable = [&](TWSocket* c, uint16_t) {
      std::string d = c->ReceiveString();
      if (!d.empty()) order.push_back(d);
    };
    s.OnSessionClosed = [&](TWSocket*, uint16_t) { order.push_back("closed"); };
    s.Connect();
    loop.Run();
    EXPECT_EQ(order, (std::vector<std::string>{"resume", "late", "closed"}));
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketLifetime, SocketMayBeDestroyedInsideItsOwnHandler) {
  TEventLoop loop;
  TPlainServer server;
  int data = 0;
  {
    auto* s = new TWSocket(loop);
    prepare(*s, server.port);
    s->OnSessionConnected = [&](TWSocket*, uint16_t) {
      int peer = server.Accept();
      writeall(peer, "bye");
      ::close(peer);
    };
    s->OnDataAvailable = [&](TWSocket* c, uint16_t) {
      ++data;
      delete c;
    };
    s->OnSessionClosed = [&](TWSocket*, uint16_t) { ADD_FAILURE() << "closed after delete"; };
    s->Connect();
    loop.Run();
  }
  EXPECT_EQ(data, 1);
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
