#include "cli/Signals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

#include "results/TempFiles.h"

namespace {

std::atomic<int> firstsignal{0};
std::atomic<bool> written{false};
std::atomic<uv_async_t*> wakeup{nullptr};

extern "C" void onsignal(int sig) {
  int first = 0;
  if (firstsignal.compare_exchange_strong(first, sig)) {
    // uv_async_send is safe in a signal handler; the abort itself runs from the loop.
    if (uv_async_t* a = wakeup.load()) uv_async_send(a);
    return;
  }
  // GNU timeout, Ctrl-C on a process group and kill run twice all deliver one signal twice in a
  // row: that repeat must not cut the save short.
  if (sig == first && !written.load()) return;
  removetemps();
  _exit(128 + sig);
}

}  // namespace

TSignalAbort::TSignalAbort(TEventLoop& loop, std::function<void()> abort)
    : async_(new uv_async_t), abort_(std::move(abort)) {
  uv_async_init(loop.uv(), async_, &TSignalAbort::wake);
  async_->data = this;
  uv_unref(reinterpret_cast<uv_handle_t*>(async_));
  wakeup.store(async_);
  struct sigaction sa {};
  sa.sa_handler = onsignal;
  // One handler at a time: signals sent together are then handled in the order they come.
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, sig);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  // A signal that came before the loop could be woken is still honoured.
  if (firstsignal.load() != 0) uv_async_send(async_);
}

TSignalAbort::~TSignalAbort() {
  wakeup.store(nullptr);
  async_->data = nullptr;
  uv_close(reinterpret_cast<uv_handle_t*>(async_),
           [](uv_handle_t* h) { delete reinterpret_cast<uv_async_t*>(h); });
}

int TSignalAbort::caught() {
  return firstsignal.load();
}

void TSignalAbort::resultswritten() {
  written.store(true);
}

void TSignalAbort::wake(uv_async_t* handle) {
  if (auto* self = static_cast<TSignalAbort*>(handle->data)) self->abort_();
}
