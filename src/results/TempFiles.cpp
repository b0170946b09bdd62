#include "results/TempFiles.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

// A few files at most are open at once: the detailed log during the run, then one output at a
// time. Fixed buffers, so the signal handler touches no allocator.
constexpr int kSlots = 16;
constexpr size_t kPathBytes = 4096;

// 0 free, 1 being filled, 2 listed.
std::atomic<int> state[kSlots];
char paths[kSlots][kPathBytes];

}  // namespace

int remembertemp(const char* path) {
  const size_t length = std::strlen(path);
  if (length >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!state[i].compare_exchange_strong(expected, 1)) continue;
    std::memcpy(paths[i], path, length + 1);
    state[i].store(2);
    return i;
  }
  return -1;
}

void forgettemp(int slot) {
  if (slot >= 0 && slot < kSlots) state[slot].store(0);
}

void removetemps() {
  for (int i = 0; i < kSlots; ++i)
    if (state[i].load() == 2) ::unlink(paths[i]);
}

size_t listedtemps() {
  size_t n = 0;
  for (int i = 0; i < kSlots; ++i) n += state[i].load() == 2 ? 1 : 0;
  return n;
}
