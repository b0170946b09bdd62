// The event loop's descriptor watches and lookups in libuv's shape: count callbacks, run the
// loop, check the counts, and make sure the loop closes with no handle left.

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

// Deletes another watch from inside its own readiness callback.
struct Killer : TFdWatchHandler {
  TFdWatch** victim = nullptr;
  int calls = 0;
  void FdReady(int, int) override {
    ++calls;
    delete *victim;
    *victim = nullptr;
  }
};

}  // namespace

TEST(EventLoop, WatchDestroyedDuringABatchGetsNoMoreEvents) {
  TEventLoop loop;
  int a[2], b[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, a), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, b), 0);
  // Both turn writable in the same batch; whichever runs first deletes the other's watch, whose
  // event in that batch must then be dropped.
  Killer first, second;
  TFdWatch* one = new TFdWatch(loop, a[0], &first);
  TFdWatch* two = new TFdWatch(loop, b[0], &second);
  first.victim = &two;
  second.victim = &one;
  ASSERT_EQ(one->Start(UV_WRITABLE), 0);
  ASSERT_EQ(two->Start(UV_WRITABLE), 0);
  loop.RunOnce(false);
  EXPECT_EQ(first.calls + second.calls, 1);
  delete one;
  delete two;
  for (int fd : {a[0], a[1], b[0], b[1]}) close(fd);
  loop.Run();
  EXPECT_EQ(loop.Close(), 0);
}

TEST(EventLoop, RefusedConnectArrivesAsAnErrorWithTheWatchStopped) {
  TEventLoop loop;
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  close(listener);  // nobody listens on that port now
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  int rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ASSERT_TRUE(rc == 0 || errno == EINPROGRESS || errno == ECONNREFUSED);
  struct Refused : TFdWatchHandler {
    int status = 1, calls = 0;
    void FdReady(int s, int) override {
      status = s;
      ++calls;
    }
  } handler;
  {
    TFdWatch watch(loop, fd, &handler);
    ASSERT_EQ(watch.Start(UV_WRITABLE | UV_READABLE), 0);
    loop.Run();  // ends: the error stopped the watch
    watch.CloseWithFd();
  }
  EXPECT_EQ(handler.calls, 1);
  EXPECT_EQ(handler.status, UV_EBADF);
  EXPECT_EQ(loop.Close(), 0);
}

namespace {

struct EdgeCounter : TFdWatchHandler {
  int calls = 0;
  int events = 0;
  void FdReady(int status, int e) override {
    EXPECT_EQ(status, 0);
    ++calls;
    events = e;
  }
};

}  // namespace

TEST(EventLoop, EdgeWatchReportsAnArrivalOnceAndAgainWhenRearmed) {
  TEventLoop loop;
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
  EdgeCounter c;
  {
    TFdWatch watch(loop, sv[0], &c);
    ASSERT_EQ(watch.StartEdge(UV_READABLE), 0);
    ASSERT_EQ(write(sv[1], "a", 1), 1);
    loop.RunOnce(false);
    loop.RunOnce(false);  // nothing read, yet no second report: only arrivals are reported
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(c.events, UV_READABLE);  // writable too, but not wanted
    ASSERT_EQ(watch.Rearm(), 0);
    loop.RunOnce(false);
    EXPECT_EQ(c.calls, 2);
    watch.Want(0);
    ASSERT_EQ(write(sv[1], "b", 1), 1);
    loop.RunOnce(false);
    EXPECT_EQ(c.calls, 2);  // not wanted: dropped
    watch.CloseWithFd();
  }
  close(sv[1]);
  loop.Run();
  EXPECT_EQ(loop.Close(), 0);
}

namespace {

// Closes another edge watch with its descriptor inside its own callback and watches a new
// descriptor that may well get the same number.
struct Replacer : TFdWatchHandler {
  TEventLoop* loop = nullptr;
  TFdWatch** victim = nullptr;
  EdgeCounter* newcomer = nullptr;
  TFdWatch* replacement = nullptr;
  int peer = -1;
  int calls = 0;
  void FdReady(int, int) override {
    if (++calls > 1 || *victim == nullptr) return;
    (*victim)->CloseWithFd();
    delete *victim;
    *victim = nullptr;
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
    peer = sv[1];
    replacement = new TFdWatch(*loop, sv[0], newcomer);
    ASSERT_EQ(replacement->StartEdge(UV_READABLE), 0);
  }
};

}  // namespace

TEST(EventLoop, EventOfAClosedEdgeWatchNeverReachesALaterWatch) {
  TEventLoop loop;
  int a[2], b[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, a), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, b), 0);
  EdgeCounter newcomer;
  Replacer first, second;
  TFdWatch* one = new TFdWatch(loop, a[0], &first);
  TFdWatch* two = new TFdWatch(loop, b[0], &second);
  for (Replacer* r : {&first, &second}) {
    r->loop = &loop;
    r->newcomer = &newcomer;
  }
  first.victim = &two;
  second.victim = &one;
  ASSERT_EQ(one->StartEdge(UV_READABLE), 0);
  ASSERT_EQ(two->StartEdge(UV_READABLE), 0);
  // Both readable in one batch: whichever runs first closes the other and watches a new
  // descriptor, which has nothing to read and must hear nothing.
  ASSERT_EQ(write(a[1], "x", 1), 1);
  ASSERT_EQ(write(b[1], "x", 1), 1);
  loop.RunOnce(false);
  loop.RunOnce(false);
  EXPECT_EQ(first.calls + second.calls, 1);
  EXPECT_EQ(newcomer.calls, 0);
  for (Replacer* r : {&first, &second}) {
    if (r->replacement != nullptr) {
      r->replacement->CloseWithFd();
      delete r->replacement;
      close(r->peer);
    }
  }
  for (TFdWatch* w : {one, two}) {
    if (w != nullptr) w->CloseWithFd();
    delete w;
  }
  for (int fd : {a[1], b[1]}) close(fd);
  loop.Run();
  EXPECT_EQ(loop.Close(), 0);
}

namespace {

// Watches many new descriptors from inside its first event.
struct Crowd : TFdWatchHandler {
  TEventLoop* loop = nullptr;
  std::vector<TFdWatch*> watches;
  std::vector<int> fds;
  EdgeCounter* newcomer = nullptr;
  bool* crowded = nullptr;
  int calls = 0;
  void FdReady(int, int) override {
    if (++calls > 1 || *crowded) return;
    *crowded = true;
    for (int i = 0; i < 300; ++i) {
      int sv[2];
      ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
      fds.push_back(sv[1]);
      watches.push_back(new TFdWatch(*loop, sv[0], newcomer));
      ASSERT_EQ(watches.back()->StartEdge(UV_READABLE), 0);
    }
  }
};

}  // namespace

TEST(EventLoop, WatchesMadeDuringABatchLeaveTheRestOfTheBatchIntact) {
  TEventLoop loop;
  // Three readable in one batch; whichever runs first watches 300 new descriptors, so the loop's
  // table of watches grows under the batch. The other two still get their event, the new ones
  // (with nothing to read) get none.
  int pairs[3][2];
  Crowd handlers[3];
  EdgeCounter newcomer;
  bool crowded = false;
  std::vector<TFdWatch*> watches;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pairs[i]), 0);
    handlers[i].loop = &loop;
    handlers[i].newcomer = &newcomer;
    handlers[i].crowded = &crowded;
    watches.push_back(new TFdWatch(loop, pairs[i][0], &handlers[i]));
    ASSERT_EQ(watches.back()->StartEdge(UV_READABLE), 0);
    ASSERT_EQ(write(pairs[i][1], "x", 1), 1);
  }
  loop.RunOnce(false);
  loop.RunOnce(false);
  int crowds = 0;
  for (Crowd& c : handlers) {
    EXPECT_EQ(c.calls, 1);
    crowds += c.watches.empty() ? 0 : 1;
  }
  EXPECT_EQ(crowds, 1);
  EXPECT_EQ(newcomer.calls, 0);
  for (Crowd& c : handlers) {
    for (TFdWatch* w : c.watches) {
      w->CloseWithFd();
      delete w;
    }
    for (int fd : c.fds) close(fd);
  }
  for (int i = 0; i < 3; ++i) {
    watches[i]->CloseWithFd();
    delete watches[i];
    close(pairs[i][1]);
  }
  loop.Run();
  EXPECT_EQ(loop.Close(), 0);
}

TEST(DnsLookup, AFixedAnswerComesFromTheLoopAndACancelDropsIt) {
  TEventLoop loop;
  TFixedResolver names;
  int calls = 0;
  std::vector<std::string> found;
  {
    TDnsLookup a(loop), b(loop);
    ASSERT_EQ(a.Start("localhost",
                      [&](int error, const std::vector<std::string>& addresses) {
                        ++calls;
                        EXPECT_EQ(error, 0);
                        found = addresses;
                      }),
              0);
    ASSERT_EQ(b.Start("no-such-host.invalid",
                      [&](int, const std::vector<std::string>&) { ADD_FAILURE() << "cancelled"; }),
              0);
    EXPECT_EQ(calls, 0) << "never inside Start";
    EXPECT_TRUE(b.Pending());
    EXPECT_TRUE(b.Cancel());
    EXPECT_FALSE(b.Pending());
    loop.Run();
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(found, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(loop.Close(), 0);
}
