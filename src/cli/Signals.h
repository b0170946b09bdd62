#pragma once
// TSignalAbort: Ctrl-C (SIGINT), SIGTERM and SIGHUP abort the test once, through the engine's
// Abort from the loop, so the outstanding requests complete and everything is written. A repeat of
// the first signal is ignored until the results are written; another of the three signals (or any
// after the results are written) ends the program at once with 128 + its number, removing the
// temporary files of the outputs it was writing.

#include <functional>

#include "net/EventLoop.h"

class TSignalAbort {
 public:
  // abort runs on the loop's thread, from the loop, after the first signal.
  TSignalAbort(TEventLoop& loop, std::function<void()> abort);
  // The handlers stay installed until the program ends: a different signal while results are
  // being written must still end it at once. Only the loop's wake-up is taken away.
  ~TSignalAbort();
  TSignalAbort(const TSignalAbort&) = delete;
  TSignalAbort& operator=(const TSignalAbort&) = delete;

  // The first signal caught, 0 when none.
  static int caught();
  // From now on any signal ends the program at once: nothing is left to save.
  static void resultswritten();

 private:
  static void wake(uv_async_t* handle);

  uv_async_t* async_;
  std::function<void()> abort_;
};
