#include "http/HeaderList.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Room for a usual header at once, instead of growing with each line.
constexpr size_t kFirstEnds = 16;
constexpr size_t kFirstText = 512;
constexpr size_t kFirstBlock = kFirstEnds + kFirstText / sizeof(size_t);

// Blocks of the first size given back by lists that went, for the next lists of this thread: a
// load test's clients receive their responses a batch at a time and go soon after, and the heap
// takes longer for a block than all of a header's lines take to parse. Bounded, so that the stock
// adds nothing to a large wave's peak memory (at 256 it did, by about 0.02 kB per user).
constexpr size_t kMaxSpareBlocks = 128;
std::vector<std::unique_ptr<size_t[]>>& spareblocks() {
  thread_local std::vector<std::unique_ptr<size_t[]>> spare;
  return spare;
}

// Text bytes rounded up to whole elements of the block.
size_t textelements(size_t bytes) {
  return (bytes + sizeof(size_t) - 1) / sizeof(size_t);
}

}  // namespace

THeaderList::THeaderList(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) push_back(line);
}

THeaderList::THeaderList(const THeaderList& other) {
  copyfrom(other);
}

THeaderList::THeaderList(THeaderList&& other) noexcept
    : block_(std::move(other.block_)),
      count_(std::exchange(other.count_, 0)),
      endroom_(std::exchange(other.endroom_, 0)),
      textroom_(std::exchange(other.textroom_, 0)) {}

THeaderList& THeaderList::operator=(const THeaderList& other) {
  if (this != &other) copyfrom(other);
  return *this;
}

THeaderList::~THeaderList() {
  release();
}

void THeaderList::release() {
  if (block_ && endroom_ == kFirstEnds && textroom_ == kFirstText) {
    auto& spare = spareblocks();
    if (spare.size() < kMaxSpareBlocks) spare.push_back(std::move(block_));
  }
  block_.reset();
  count_ = endroom_ = textroom_ = 0;
}

THeaderList& THeaderList::operator=(THeaderList&& other) noexcept {
  if (this != &other) {
    release();
    block_ = std::move(other.block_);
    count_ = std::exchange(other.count_, 0);
    endroom_ = std::exchange(other.endroom_, 0);
    textroom_ = std::exchange(other.textroom_, 0);
  }
  return *this;
}

void THeaderList::copyfrom(const THeaderList& other) {
  const size_t bytes = other.used();
  if (other.count_ > endroom_ || bytes > textroom_) {
    // A copy takes just the room its lines need.
    release();
    block_.reset(new size_t[other.count_ + textelements(bytes)]);
    endroom_ = other.count_;
    textroom_ = textelements(bytes) * sizeof(size_t);
  }
  count_ = other.count_;
  if (count_ == 0) return;
  std::copy(other.block_.get(), other.block_.get() + count_, block_.get());
  std::memcpy(text(), other.text(), bytes);
}

void THeaderList::grow(std::string_view line) {
  const size_t before = used();
  const size_t after = before + line.size();
  const size_t ends = std::max({kFirstEnds, endroom_ * 2, count_ + 1});
  const size_t elements = textelements(std::max({kFirstText, textroom_ * 2, after}));
  std::unique_ptr<size_t[]> block;
  auto& spare = spareblocks();
  if (ends + elements == kFirstBlock && !spare.empty()) {
    block = std::move(spare.back());
    spare.pop_back();
  } else {
    block.reset(new size_t[ends + elements]);
  }
  char* text = reinterpret_cast<char*>(block.get() + ends);
  if (count_ > 0) {
    std::copy(block_.get(), block_.get() + count_, block.get());
    std::memcpy(text, this->text(), before);
  }
  // Before the old block goes: the line may be one of this list's own.
  if (!line.empty()) std::memcpy(text + before, line.data(), line.size());
  block[count_] = after;
  block_ = std::move(block);
  endroom_ = ends;
  textroom_ = elements * sizeof(size_t);
  ++count_;
}

void THeaderList::clear() {
  count_ = 0;
}

bool operator==(const THeaderList& a, const THeaderList& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool operator==(const THeaderList& a, const std::vector<std::string>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](std::string_view x, const std::string& y) { return x == y; });
}
