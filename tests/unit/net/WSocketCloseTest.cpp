// TWSocket closing, failing, pausing and being destroyed, in libuv's test shape: a loopback
// peer made here, callbacks counted, the loop run, the counts checked, and the loop closed clean.

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
