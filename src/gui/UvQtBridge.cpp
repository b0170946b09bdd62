#include "gui/UvQtBridge.h"

#include <QCoreApplication>

TUvQtBridge::TUvQtBridge(TEventLoop& loop, QObject* parent)
    : QObject(parent),
      loop_(loop),
      // libuv's epoll descriptor turns readable when any watched socket is ready.
      notifier_(new QSocketNotifier(uv_backend_fd(loop.uv()), QSocketNotifier::Read, this)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(notifier_, &QSocketNotifier::activated, this, &TUvQtBridge::run);
  connect(&timer_, &QTimer::timeout, this, &TUvQtBridge::run);
  // Work added from Qt code (a new socket, timer, lookup or notice) only reaches epoll inside
  // uv_run, so it asks for a pass as soon as Qt's loop is free.
  loop_.SetKickHook([this] {
    if (!timer_.isActive() || timer_.remainingTime() > 0) timer_.start(0);
  });
  loop_.SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
  timer_.start(0);
}

TUvQtBridge::~TUvQtBridge() {
  loop_.SetKickHook(nullptr);
  loop_.SetProcessMessagesHook(nullptr);
}

void TUvQtBridge::run() {
  if (loop_.Running()) {
    // Called from Qt events processed by a handler inside uv_run: the outer pass repeats instead.
    // The notifier stays off meanwhile, or the ready epoll descriptor would fire it again and
    // again.
    again_ = true;
    notifier_->setEnabled(false);
    return;
  }
  do {
    again_ = false;
    ++passes_;
    loop_.RunOnce(false);
  } while (again_);
  notifier_->setEnabled(true);
  rearm();
}

void TUvQtBridge::rearm() {
  uv_loop_t* uv = loop_.uv();
  uv_update_time(uv);
  int timeout = uv_backend_timeout(uv);
  // A zero timeout with nothing alive would make the timer spin; a negative one means libuv waits
  // for I/O only, which the notifier covers.
  if (timeout < 0 || (timeout == 0 && !uv_loop_alive(uv))) {
    timer_.stop();
  } else {
    timer_.start(timeout);
  }
}
