// Event-loop tests in libuv's shape: count callbacks, run the loop, check the counts, and make
// sure the loop closes with no handle left.

#include "net/EventLoop.h"
#include "support/FixedResolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TEST(EventLoop, NoticesArriveInPostingOrderAndNeverInsidePost) {
  TEventLoop loop;
  std::vector<int> order;
  {
    TNoticeTarget a(loop), b(loop);
    a.Post([&] { order.push_back(1); });
    b.Post([&] { order.push_back(2); });
    a.Post([&] {
      order.push_back(3);
      // Posted from inside a notice: delivered after everything already queued.
      b.Post([&] { order.push_back(5); });
      EXPECT_EQ(order.size(), 3u);
    });
    b.Post([&] { order.push_back(4); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(loop.PendingNotices(), 4u);
    loop.Run();
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, DestroyedTargetLosesItsQueuedNotices) {
  TEventLoop loop;
  int delivered = 0;
  TNoticeTarget keep(loop);
  {
    TNoticeTarget gone(loop);
    gone.Post([&] { delivered += 100; });
    keep.Post([&] { delivered += 1; });
    gone.Post([&] { delivered += 100; });
  }
  EXPECT_EQ(loop.PendingNotices(), 1u);
  loop.Run();
  EXPECT_EQ(delivered, 1);
  EXPECT_EQ(keep.Pending(), 0u);
}

TEST(EventLoop, LongQueuesKeepTheirOrderAcrossPassesAndCancels) {
  TEventLoop loop;
  std::vector<int> order;
  TNoticeTarget keep(loop);
  auto* gone = new TNoticeTarget(loop);
  // Every notice of the first pass posts two followers, so the queue grows at its back while it
  // is consumed at its front, well past any first allocation. The other target's notices are mixed
  // in; the target goes in the middle of the pass, and its later notices with it.
  for (int i = 0; i < 300; ++i) {
    keep.Post([&, i] {
      order.push_back(i);
      keep.Post([&, i] { order.push_back(1000 + i); });
      keep.Post([&, i] { order.push_back(2000 + i); });
      if (i == 150) {
        delete gone;
        gone = nullptr;
      }
    });
    if (i % 3 == 0) gone->Post([&, i] { order.push_back(-1 - i); });
  }
  EXPECT_EQ(loop.PendingNotices(), 400u);
  loop.Run();
  std::vector<int> expected;
  for (int i = 0; i < 300; ++i) {
    expected.push_back(i);
    if (i % 3 == 0 && i < 150) expected.push_back(-1 - i);
  }
  for (int i = 0; i < 300; ++i) {
    expected.push_back(1000 + i);
    expected.push_back(2000 + i);
  }
  EXPECT_EQ(order, expected);
  EXPECT_EQ(keep.Pending(), 0u);
  EXPECT_EQ(loop.PendingNotices(), 0u);
  EXPECT_EQ(loop.Close(), 0);
}

// A plain notice shares the ring's slots with the std::function ones: the order, the growth of
// the ring, a cancel and the release of a function's captures must not notice the difference.
TEST(EventLoop, PlainNoticesKeepTheirPlaceAmongTheOthers) {
  TEventLoop loop;
  std::vector<int> order;
  auto held = std::make_shared<int>(0);
  TNoticeTarget keep(loop);
  auto* gone = new TNoticeTarget(loop);
  const TNoticeTarget::TPlainNotice record = [](void* to, uint32_t value) {
    static_cast<std::vector<int>*>(to)->push_back(static_cast<int>(value));
  };
  for (uint32_t i = 0; i < 200; ++i) {
    if (i % 2 == 0) {
      keep.Post(record, &order, i);
    } else {
      keep.Post([&order, held, i] { order.push_back(static_cast<int>(i)); });
    }
    if (i % 5 == 0) gone->Post(record, &order, 10000 + i);
    if (i % 7 == 0) gone->Post([&order, held] { order.push_back(-1); });
  }
  EXPECT_EQ(loop.PendingNotices(), 200u + 40u + 29u);
  delete gone;
  EXPECT_EQ(held.use_count(), 1 + 100);
  keep.Post(
      [](void* target, uint32_t) {
        // A plain notice that posts: the slot it came from is free again.
        static_cast<TNoticeTarget*>(target)->Post([] {});
      },
      &keep, 0);
  loop.Run();
  std::vector<int> expected;
  for (int i = 0; i < 200; ++i) expected.push_back(i);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(held.use_count(), 1);
  EXPECT_EQ(loop.PendingNotices(), 0u);
  EXPECT_EQ(keep.Pending(), 0u);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, TargetMayDestroyItselfInsideItsOwnNotice) {
  TEventLoop loop;
  int delivered = 0;
  auto* t = new TNoticeTarget(loop);
  t->Post([&] {
    ++delivered;
    delete t;
  });
  t->Post([&] { delivered += 100; });  // dropped with its target
  loop.Run();
  EXPECT_EQ(delivered, 1);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, OneShotTimerFiresOnceAndMayRearmItself) {
  TEventLoop loop;
  int fired = 0;
  {
    TTimer timer(loop);
    timer.Start(1, [&] {
      if (++fired < 3) timer.Start(1, [&] { ++fired; });
    });
    loop.Run();
    EXPECT_FALSE(timer.Active());
  }
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, StoppedTimerNeverFires) {
  TEventLoop loop;
  int fired = 0;
  {
    TTimer timer(loop);
    timer.Start(1, [&] { ++fired; });
    timer.Stop();
    loop.Run();
  }
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(loop.Close(), 0);
}

struct Counter : TFdWatchHandler {
  int readable = 0, writable = 0;
  std::string got;
  TFdWatch* watch = nullptr;
  void FdReady(int status, int events) override {
    ASSERT_EQ(status, 0);
    if (events & UV_WRITABLE) {
      ++writable;
      watch->Start(UV_READABLE);  // writable only while something waits to be sent
    }
    if (events & UV_READABLE) {
      ++readable;
      char buf[64];
      ssize_t n = read(watch->Fd(), buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<size_t>(n));
      if (got == "ping") watch->Stop();
    }
  }
};

TEST(EventLoop, FdReadinessReportsWritableThenReadable) {
  TEventLoop loop;
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
  Counter c;
  {
    TFdWatch watch(loop, sv[0], &c);
    c.watch = &watch;
    ASSERT_EQ(watch.Start(UV_READABLE | UV_WRITABLE), 0);
    ASSERT_EQ(write(sv[1], "ping", 4), 4);
    loop.Run();
    watch.CloseWithFd();
    EXPECT_EQ(fcntl(sv[0], F_GETFD), -1);  // closed at once, with no loop pass needed
  }
  EXPECT_EQ(c.writable, 1);
  EXPECT_GE(c.readable, 1);
  EXPECT_EQ(c.got, "ping");
  close(sv[1]);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, DottedAndUnknownNameLookups) {
  TEventLoop loop;
  int calls = 0;
  std::vector<std::string> found;
  int unknown_error = -1;
  TFixedResolver names;
  {
    TDnsLookup ok(loop), bad(loop);
    ASSERT_EQ(ok.Start("127.0.0.1",
                       [&](int error, const std::vector<std::string>& a) {
                         ++calls;
                         EXPECT_EQ(error, 0);
                         found = a;
                       }),
              0);
    EXPECT_EQ(calls, 0);  // never inside Start
    ASSERT_EQ(bad.Start("no-such-host.invalid",
                        [&](int error, const std::vector<std::string>&) {
                          ++calls;
                          unknown_error = error;
                        }),
              0);
    loop.Run();
  }
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(found, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(unknown_error, 11001);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, CancelledLookupNeverCallsBack) {
  TEventLoop loop;
  int calls = 0;
  {
    TDnsLookup lookup(loop);
    ASSERT_EQ(lookup.Start("localhost", [&](int, const std::vector<std::string>&) { ++calls; }), 0);
    EXPECT_TRUE(lookup.Cancel());
    EXPECT_FALSE(lookup.Pending());
    loop.Run();
  }
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, ExceptionInHandlerIsReportedNotPropagated) {
  TEventLoop loop;
  std::string reported;
  TEventLoop::SetExceptionHook([&](const std::string& what) { reported = what; });
  int after = 0;
  {
    TNoticeTarget t(loop);
    t.Post([] { throw std::runtime_error("boom"); });
    t.Post([&] { ++after; });
    loop.Run();
  }
  TEventLoop::SetExceptionHook(nullptr);
  EXPECT_EQ(reported, "boom");
  EXPECT_EQ(after, 1);
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, ProcessMessagesUsesHookAndNeverReentersTheLoop) {
  TEventLoop loop;
  int hooked = 0, inner = 0;
  TNoticeTarget t(loop);
  // Without a hook and inside the loop, ProcessMessages must not run libuv again.
  t.Post([&] {
    t.Post([&] { ++inner; });
    loop.ProcessMessages();
    EXPECT_EQ(inner, 0);
  });
  loop.Run();
  EXPECT_EQ(inner, 1);
  loop.SetProcessMessagesHook([&] { ++hooked; });
  loop.ProcessMessages();
  EXPECT_EQ(hooked, 1);
}

}  // namespace
