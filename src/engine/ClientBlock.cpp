#include "engine/ClientBlock.h"

#include <sys/mman.h>

#include <new>

TClientBlock::~TClientBlock() {
  release();
}

void TClientBlock::release() {
  if (base_ != nullptr) munmap(base_, bytes_);
  base_ = nullptr;
  bytes_ = capacity_ = used_ = 0;
}

void TClientBlock::reserve(size_t count) {
  if (live_ > 0) return;
  used_ = 0;
  if (count <= capacity_) return;
  release();
  // No huge-page advice: on a virtual machine whose host takes back free memory, a huge page comes
  // from the very blocks it was given back, and its first touch costs the host's faults for all of
  // it, while ordinary pages come first from memory freed a moment ago. Without the advice a
  // 19000-user wave's CPU was the same or up to 4 % lower (medians), and the slowest waves, up to a
  // fifth above the median, went away: they were stalls on finding and clearing huge pages.
  const size_t bytes = count * kSlot;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return;  // every client comes from the heap then
  base_ = static_cast<char*>(p);
  bytes_ = bytes;
  capacity_ = bytes / kSlot;
}

bool TClientBlock::holds(const mythttpcli* client) const {
  const char* p = reinterpret_cast<const char*>(client);
  return base_ != nullptr && p >= base_ && p < base_ + capacity_ * kSlot;
}

mythttpcli* TClientBlock::create(TEventLoop& loop) {
  if (used_ >= capacity_) return new mythttpcli(loop);
  auto* c = new (base_ + used_ * kSlot) mythttpcli(loop);
  ++used_;
  ++live_;
  return c;
}

void TClientBlock::destroy(mythttpcli* client) {
  if (client == nullptr) return;
  if (!holds(client)) {
    delete client;
    return;
  }
  client->~mythttpcli();
  --live_;
}
