// The libuv loop driven from a running QApplication: timers, readiness and notices fire, and a
// handler inside uv_run may process Qt events without re-entering libuv.

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include "gui/UvQtBridge.h"
#include "net/EventLoop.h"

namespace {

// Spins Qt's loop (not libuv's) until cond holds or 10 s pass.
template <typename F>
bool waitfor(F cond) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

struct Reader : TFdWatchHandler {
  int fd = -1;
  std::string got;
  TFdWatch* watch = nullptr;
  void FdReady(int, int events) override {
    if (events & UV_READABLE) {
      char buf[64];
      ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<size_t>(n));
      if (n <= 0) watch->Stop();
    }
  }
};

}  // namespace

class UvQtBridgeTest : public QObject {
  Q_OBJECT
 private slots:
  void timerFiresUnderQtLoop() {
    TEventLoop loop;
    {
      TUvQtBridge bridge(loop);
      int fired = 0;
      TTimer timer(loop);
      timer.Start(20, [&] { ++fired; });  // started from Qt code: the kick arms a pass
      QVERIFY(waitfor([&] { return fired == 1; }));
    }
  }

  void readinessAndNoticesUnderQtLoop() {
    TEventLoop loop;
    TUvQtBridge bridge(loop);
    int sv[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
    Reader r;
    r.fd = sv[0];
    TFdWatch watch(loop, sv[0], &r);
    r.watch = &watch;
    QCOMPARE(watch.Start(UV_READABLE), 0);
    std::vector<int> order;
    TNoticeTarget target(loop);
    target.Post([&] { order.push_back(1); });
    target.Post([&] { order.push_back(2); });
    QVERIFY(order.empty());
    // The write happens from a Qt timer, after the watch has joined epoll.
    QTimer::singleShot(30, [&] { QCOMPARE(write(sv[1], "hello", 5), 5); });
    QVERIFY(waitfor([&] { return r.got == "hello" && order.size() == 2; }));
    QCOMPARE(order, (std::vector<int>{1, 2}));
    watch.Stop();
    close(sv[0]);
    close(sv[1]);
  }

  void handlerInsideUvRunMayProcessQtEvents() {
    TEventLoop loop;
    TUvQtBridge bridge(loop);
    int qtevents = 0, later = 0;
    quint64 passesinside = 0;
    TNoticeTarget target(loop);
    TTimer timer(loop);
    target.Post([&] {
      // Work for libuv that becomes ready while this handler runs inside uv_run.
      timer.Start(0, [&] { ++later; });
      target.Post([&] { ++later; });
      QTimer::singleShot(0, [&] { ++qtevents; });
      const quint64 before = bridge.passes();
      QElapsedTimer t;
      t.start();
      while (qtevents == 0 && t.elapsed() < 5000) {
        loop.ProcessMessages();  // Qt events only: the bridge must not enter uv_run again
      }
      // A pass of libuv made from inside this handler would have counted here.
      passesinside = bridge.passes() - before;
      QCOMPARE(later, 0);
    });
    QVERIFY(waitfor([&] { return later == 2; }));
    QCOMPARE(qtevents, 1);
    QCOMPARE(passesinside, quint64(0));
  }
};

QTEST_MAIN(UvQtBridgeTest)
#include "UvQtBridgeTest.moc"
