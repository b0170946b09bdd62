#include "engine/ClientBlock.h"

#include <sys/mman.h>

#include <new>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// A block asks for huge pages from this size on: the first huge page of a process may cost the
// system a search for free memory, which only many saved small faults pay back.
constexpr size_t kHugeBlock = size_t(8) << 20;

}  // namespace

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
  size_t bytes = count * kSlot;
  const bool huge = bytes >= kHugeBlock;
  // A whole number of huge pages: the kernel then places the mapping on a huge-page boundary.
  if (huge) bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return;  // every client comes from the heap then
  // Only advice: without transparent huge pages the block is made of ordinary pages. Only the huge
  // pages the clients fill whole take it: the kernel zeroes a huge page in full at its first touch,
  // and zeroing costs the CPU the test measures, so a part-used last one stays in ordinary pages.
  const size_t filled = count * kSlot / kHugePage * kHugePage;
  if (huge && filled > 0) madvise(p, filled, MADV_HUGEPAGE);
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
