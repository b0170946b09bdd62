#pragma once
// guarded: runs a callback from libuv's C frames, which an exception must never unwind through:
// it is reported and the loop goes on, as a window would show it in an error box and keep running.

#include <exception>

#include "net/EventLoop.h"

template <typename F>
void guarded(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    TEventLoop::ReportException(e.what());
  } catch (...) {
    TEventLoop::ReportException("unknown exception");
  }
}
