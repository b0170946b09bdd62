// One handler for many clients, and the named events on top of it: which of the two an event
// reaches, for clients and for sockets. No network: the clients' receive path is driven directly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "http/HttpProt.h"
#include "net/WSocket.h"

namespace {

class TProbe : public THttpCli {
 public:
  explicit TProbe(TEventLoop& loop) : THttpCli(loop) {}
  using THttpCli::ExpectResponse;
  using THttpCli::ResponseClosed;
  void Read(const std::string& piece) {
    ReadResponse([&](char* to, int room) {
      int n = std::min<int>(room, int(piece.size()));
      std::memcpy(to, piece.data(), size_t(n));
      return n;
    });
  }
};

// Records each event with the client it names.
struct TRecorder : THttpCliHandler {
  std::vector<std::pair<const THttpCli*, std::string>> Events;
  void HeaderData(THttpCli* Sender) override { Events.emplace_back(Sender, Sender->LastLine); }
  void DocData(THttpCli* Sender, const char* Buffer, int Len) override {
    Events.emplace_back(Sender, "doc " + std::string(Buffer, size_t(Len)));
  }
  void DocEnd(THttpCli* Sender) override { Events.emplace_back(Sender, "end"); }
  void RequestDone(THttpCli* Sender, THttpRequest, uint16_t Error) override {
    Events.emplace_back(Sender, "done " + std::to_string(Error));
  }
};

TEST(ClientHandler, OneHandlerServesManyClientsAndEachEventNamesItsClient) {
  TEventLoop loop;
  TRecorder handler;
  std::vector<std::unique_ptr<TProbe>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TProbe>(loop));
    clients.back()->SetHandler(&handler);
    clients.back()->ExpectResponse(rqGet);
  }
  // Interleaved, as readiness of many connections arrives.
  for (int i = 2; i >= 0; --i) clients[size_t(i)]->Read("HTTP/1.0 200 OK\r\n\r\n");
  for (int i = 0; i < 3; ++i) clients[size_t(i)]->Read("body" + std::to_string(i));
  for (auto& c : clients) c->ResponseClosed();
  loop.Run();

  for (int i = 0; i < 3; ++i) {
    const THttpCli* c = clients[size_t(i)].get();
    std::vector<std::string> mine;
    for (const auto& [sender, event] : handler.Events) {
      if (sender == c) mine.push_back(event);
    }
    EXPECT_EQ(mine, (std::vector<std::string>{"HTTP/1.0 200 OK", "doc body" + std::to_string(i),
                                              "end", "done 0"}))
        << "client " << i;
    // A client that only has the handler never made the adapter of the named events.
    EXPECT_EQ(c->FindNamedEvents(), nullptr);
    EXPECT_EQ(c->Handler(), &handler);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST(ClientHandler, NamedEventsTakePrecedenceAndTheOthersStillReachTheHandler) {
  TEventLoop loop;
  TRecorder first, second;
  TProbe cli(loop);
  cli.SetHandler(&first);
  std::string named;
  cli.OnDocData = [&](THttpCli*, const char* b, int n) { named.append(b, size_t(n)); };
  EXPECT_TRUE(cli.OnDocData);
  EXPECT_FALSE(cli.OnHeaderData);
  EXPECT_EQ(cli.Handler(), &first);
  // Set after the adapter exists: still what takes the events no name takes.
  cli.SetHandler(&second);
  EXPECT_EQ(cli.Handler(), &second);
  cli.ExpectResponse(rqGet);
  cli.Read("HTTP/1.0 200 OK\r\n\r\nabc");
  cli.ResponseClosed();
  loop.Run();
  EXPECT_EQ(named, "abc");
  EXPECT_TRUE(first.Events.empty());
  std::vector<std::string> events;
  for (const auto& e : second.Events) events.push_back(e.second);
  EXPECT_EQ(events, (std::vector<std::string>{"HTTP/1.0 200 OK", "end", "done 0"}));

  // Unassigning the named event gives it back to the handler.
  cli.OnDocData = nullptr;
  EXPECT_FALSE(cli.OnDocData);
  second.Events.clear();
  cli.ExpectResponse(rqGet);
  cli.Read("HTTP/1.0 200 OK\r\n\r\nxyz");
  cli.ResponseClosed();
  loop.Run();
  ASSERT_GE(second.Events.size(), 2u);
  EXPECT_EQ(second.Events[1].second, "doc xyz");
  EXPECT_EQ(named, "abc");
  EXPECT_EQ(loop.Close(), 0);
}

TEST(ClientHandler, AHandlerMayDestroyTheClientInsideRequestDone) {
  TEventLoop loop;
  struct TDeleter : THttpCliHandler {
    int Done = 0;
    void RequestDone(THttpCli* Sender, THttpRequest, uint16_t) override {
      ++Done;
      delete Sender;
    }
  } handler;
  auto* cli = new TProbe(loop);
  cli->SetHandler(&handler);
  cli->ExpectResponse(rqGet);
  cli->Read("HTTP/1.0 200 OK\r\n\r\nx");
  cli->ResponseClosed();
  loop.Run();
  EXPECT_EQ(handler.Done, 1);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(SocketHandler, WhatAHandlerDoesNotTakeBehavesAsIfNobodyListened) {
  TEventLoop loop;
  TWSocket s(loop);
  struct TQuiet : TSocketHandler {
  } quiet;
  s.SetHandler(&quiet);
  // A handler that does not take the report leaves it an exception.
  EXPECT_THROW(s.ReportError("refused"), ESocketException);
  struct TTaker : TSocketHandler {
    int Errors = 0;
    bool SocketError(TWSocket*) override {
      ++Errors;
      return true;
    }
  } taker;
  s.SetHandler(&taker);
  EXPECT_NO_THROW(s.ReportError("refused"));
  EXPECT_EQ(taker.Errors, 1);
  // A named OnError takes it first; without it the handler takes it again.
  int named = 0;
  s.OnError = [&](TWSocket*) { ++named; };
  EXPECT_NO_THROW(s.ReportError("refused"));
  EXPECT_EQ(named, 1);
  EXPECT_EQ(taker.Errors, 1);
  s.OnError = nullptr;
  EXPECT_NO_THROW(s.ReportError("refused"));
  EXPECT_EQ(taker.Errors, 2);
  s.SetHandler(nullptr);
  EXPECT_THROW(s.ReportError("refused"), ESocketException);
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
