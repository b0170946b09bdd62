#pragma once
// TUvQtBridge drives the program's libuv loop from Qt's event loop, so sockets, posted notices and
// timers run on the GUI thread while the window stays responsive.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "net/EventLoop.h"

class TUvQtBridge : public QObject {
  Q_OBJECT
 public:
  // Installs itself as the loop's kick hook and its "process pending events once" hook
  // (QCoreApplication::processEvents). One bridge per loop.
  explicit TUvQtBridge(TEventLoop& loop, QObject* parent = nullptr);
  ~TUvQtBridge() override;

  // Passes of uv_run made so far (for tests and diagnostics).
  quint64 passes() const { return passes_; }

 private:
  // One non-blocking pass of libuv. Inside uv_run (a handler processing Qt events) it only records
  // that another pass is wanted: libuv is not re-entrant.
  void run();
  // Arms the timer for libuv's next timeout; stopped when libuv has nothing timed to wait for.
  void rearm();

  TEventLoop& loop_;
  QSocketNotifier* notifier_;
  QTimer timer_;
  bool again_ = false;
  quint64 passes_ = 0;
};
