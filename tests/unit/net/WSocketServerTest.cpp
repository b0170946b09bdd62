// TWSocket as a server: listening, accepting into a second socket, and UDP datagrams.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PlainServer.h"
#include "net/WSocket.h"

namespace {

TEST(WSocketServer, ListenRefusalsAndAcceptOutsideListening) {
  TEventLoop loop;
  {
    TWSocket s(loop);
    s.SetProto("");
    EXPECT_EQ(thrown([&] { s.Listen(); }),
              "Error 10022 in function listen: port not assigned\r\nInvalid argument");
    s.SetPort("0");
    EXPECT_EQ(thrown([&] { s.Listen(); }),
              "Error 10022 in function listen: protocol not assigned\r\nInvalid argument");
    s.SetProto("tcp");
    EXPECT_EQ(thrown([&] { s.Listen(); }),
              "Error 10022 in function listen: address not assigned\r\nInvalid argument");
    EXPECT_EQ(thrown([&] { s.Accept(); }),
              "Error 10022 in function not a listening socket\r\nInvalid argument");
    EXPECT_EQ(thrown([&] { s.Dup(-1); }), "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(s.LocalPortText(), "error");
    EXPECT_EQ(s.PeerAddress(), "error");
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketServer, ListenAcceptDupRoundTrip) {
  TEventLoop loop;
  {
    TWSocket server(loop), client(loop);
    std::unique_ptr<TWSocket> peer;
    std::vector<std::string> serverstates, events;
    server.OnChangeState = [&](TWSocket*, TSocketState, TSocketState n) {
      serverstates.push_back(std::to_string(n));
    };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    EXPECT_EQ(serverstates, (std::vector<std::string>{"2", "6"}));  // bound, listening
    std::string port = server.LocalPortText();
    ASSERT_NE(port, "error");

    server.OnSessionAvailable = [&](TWSocket* l, uint16_t e) {
      EXPECT_EQ(e, 0);
      peer = std::make_unique<TWSocket>(loop);
      peer->OnDataAvailable = [&](TWSocket* p, uint16_t) {
        std::string got = p->ReceiveString();
        if (got.empty()) return;
        events.push_back("server got " + got);
        p->SendString("pong");
      };
      peer->OnSessionClosed = [&](TWSocket*, uint16_t) { events.push_back("server closed"); };
      peer->Dup(l->Accept());
      EXPECT_EQ(peer->State(), wsConnected);
    };
    client.SetAddr("127.0.0.1");
    client.SetPort(port);
    client.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
      EXPECT_EQ(e, 0);
      c->SendString("ping");
    };
    client.OnDataAvailable = [&](TWSocket* c, uint16_t) {
      std::string got = c->ReceiveString();
      if (got.empty()) return;
      events.push_back("client got " + got);
      c->Close();
    };
    client.OnSessionClosed = [&](TWSocket*, uint16_t) {
      events.push_back("client closed");
      server.Close();
    };
    client.Connect();
    loop.Run();
    EXPECT_EQ(events, (std::vector<std::string>{"server got ping", "client got pong",
                                                "client closed", "server closed"}));
    EXPECT_EQ(server.State(), wsClosed);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(WSocketServer, UdpDatagramReachesTheListener) {
  TEventLoop loop;
  {
    TWSocket server(loop), client(loop);
    std::vector<std::string> events;
    server.SetProto("udp");
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.OnSessionConnected = [&](TWSocket*, uint16_t e) {
      events.push_back("server up " + std::to_string(e));
    };
    server.Listen();
    EXPECT_EQ(server.State(), wsConnected);
    server.OnDataAvailable = [&](TWSocket* s, uint16_t) {
      char buf[64];
      sockaddr_in from{};
      int n = s->ReceiveFrom(buf, sizeof buf, from);
      if (n <= 0) return;
      events.push_back("server got " + std::string(buf, static_cast<size_t>(n)));
      s->Close();
    };
    client.SetProto("udp");
    client.SetAddr("127.0.0.1");
    client.SetPort(server.LocalPortText());
    client.OnSessionConnected = [&](TWSocket* c, uint16_t e) {
      events.push_back("client up " + std::to_string(e));
      c->SendString("datagram");
    };
    client.OnDataSent = [&](TWSocket* c, uint16_t) { c->Close(); };
    client.Connect();
    EXPECT_EQ(events, (std::vector<std::string>{"server up 0", "client up 0"}));
    loop.Run();
    EXPECT_EQ(events.back(), "server got datagram");
  }
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
