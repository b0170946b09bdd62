// Many connections on one loop, as a run of a load test makes them: every client connects, sends
// a request, receives the answer and sees the close exactly once.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "net/FdLimit.h"
#include "net/WSocket.h"

namespace {

int connections() {
  // Two descriptors per connection (both ends live in this process), plus a margin.
  int limit = raisefdlimit();
  int wanted = 3000;
  if (const char* env = std::getenv("PRESSBOLT_MANY_CONNECTIONS")) wanted = std::atoi(env);
  return std::min(wanted, (limit - 64) / 2);
}

TEST(WSocketMany, EveryConnectionCompletesOnce) {
  const int n = connections();
  ASSERT_GT(n, 100);
  TEventLoop loop;
  {
    TWSocket listener(loop);
    std::vector<std::unique_ptr<TWSocket>> peers;
    peers.reserve(static_cast<size_t>(n));
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.Listen();
    listener.OnSessionAvailable = [&](TWSocket* l, uint16_t) {
      auto peer = std::make_unique<TWSocket>(loop);
      peer->OnDataAvailable = [](TWSocket* p, uint16_t) {
        std::string request = p->ReceiveString();
        if (request.empty()) return;
        p->SendString("answer to " + request);
      };
      peer->OnDataSent = [](TWSocket* p, uint16_t) { p->Shutdown(1); };
      peer->Dup(l->Accept());
      peers.push_back(std::move(peer));
    };

    std::vector<std::unique_ptr<TWSocket>> clients;
    std::vector<std::string> answers(static_cast<size_t>(n));
    std::vector<int> closed(static_cast<size_t>(n), 0);
    int done = 0;
    for (int i = 0; i < n; ++i) {
      auto c = std::make_unique<TWSocket>(loop);
      c->OnDnsLookupDone = [i, port = listener.LocalPortText()](TWSocket* s, uint16_t e) {
        ASSERT_EQ(e, 0);
        s->SetAddr(s->DnsResult());
        s->SetPort(port);
        s->SetProto("tcp");
        s->Connect();
        (void)i;
      };
      c->OnSessionConnected = [i](TWSocket* s, uint16_t e) {
        EXPECT_EQ(e, 0) << i;
        if (e == 0) s->SendString("request " + std::to_string(i));
      };
      c->OnDataAvailable = [&answers, i](TWSocket* s, uint16_t) {
        answers[static_cast<size_t>(i)] += s->ReceiveString();
      };
      c->OnSessionClosed = [&, i](TWSocket*, uint16_t) {
        ++closed[static_cast<size_t>(i)];
        if (++done == n) listener.Close();
      };
      clients.push_back(std::move(c));
    }
    // All requests start in one tight loop, as a run does.
    for (auto& c : clients) c->DnsLookup("127.0.0.1");
    loop.Run();

    EXPECT_EQ(done, n);
    int wrong = 0;
    for (int i = 0; i < n; ++i) {
      if (answers[static_cast<size_t>(i)] != "answer to request " + std::to_string(i)) ++wrong;
      if (closed[static_cast<size_t>(i)] != 1) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(static_cast<int>(peers.size()), n);
    peers.clear();
    clients.clear();
  }
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
