#pragma once
// TClientBlock: the memory of a run's clients in one piece. A run creates thousands of clients at
// once and drops them as their requests complete; one block instead of a heap allocation each
// spares the allocator's bookkeeping, and later runs reuse the pages the first one touched.

#include <cstddef>

#include "engine/mythttpcli.h"
#include "net/EventLoop.h"

class TClientBlock {
 public:
  TClientBlock() = default;
  // Every client must be gone by then.
  ~TClientBlock();
  TClientBlock(const TClientBlock&) = delete;
  TClientBlock& operator=(const TClientBlock&) = delete;

  // Room for count clients, in the block kept from before when it is large enough. While clients
  // of the block are alive it stays as it is, and clients beyond its room come from the heap.
  void reserve(size_t count);
  // A new client in the next free place of the block, or from the heap when there is none.
  mythttpcli* create(TEventLoop& loop);
  // Destroys a client made by create.
  void destroy(mythttpcli* client);

  size_t capacity() const { return capacity_; }
  // Clients of the block not yet destroyed (heap clients not counted).
  size_t live() const { return live_; }
  bool holds(const mythttpcli* client) const;

 private:
  static constexpr size_t kSlot =
      (sizeof(mythttpcli) + alignof(mythttpcli) - 1) / alignof(mythttpcli) * alignof(mythttpcli);

  void release();

  char* base_ = nullptr;
  size_t bytes_ = 0;     // mapped length
  size_t capacity_ = 0;  // clients that fit
  size_t used_ = 0;      // places handed out since the last reserve
  size_t live_ = 0;
};
