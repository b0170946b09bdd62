#include "net/SocketBuffer.h"

#include <algorithm>
#include <cstring>

// ---- TBuffer ----------------------------------------------------------------------------------

TBuffer::TBuffer(int size)
    : data_(new char[static_cast<size_t>(size > 0 ? size : DefaultSize)]),
      size_(size > 0 ? size : DefaultSize) {}

int TBuffer::Write(const void* data, int len) {
  int n = std::min(len, size_ - wr_);
  if (n <= 0) return 0;
  std::memcpy(data_.get() + wr_, data, static_cast<size_t>(n));
  wr_ += n;
  return n;
}

const char* TBuffer::Peek(int& len) const {
  len = wr_ - rd_;
  return data_.get() + rd_;
}

void TBuffer::Remove(int n) {
  if (n <= 0) return;
  rd_ += std::min(n, wr_ - rd_);
  if (rd_ == wr_) rd_ = wr_ = 0;
}

void TBuffer::SetBufSize(int size) {
  if (size <= 0) size = DefaultSize;
  size = std::max(size, wr_);
  if (size == size_) return;
  std::unique_ptr<char[]> grown(new char[static_cast<size_t>(size)]);
  std::memcpy(grown.get(), data_.get(), static_cast<size_t>(wr_));
  data_ = std::move(grown);
  size_ = size;
}

// ---- TSendBufferList --------------------------------------------------------------------------

TSendBufferList::~TSendBufferList() {
  Clear();
}

void TSendBufferList::Append(const void* data, int len) {
  auto* p = static_cast<const char*>(data);
  while (len > 0) {
    if (tail_ == nullptr || tail_->wr_ == tail_->size_) {
      auto* b = new TBuffer(chunksize_);
      if (tail_ != nullptr) {
        tail_->next_ = b;
      } else {
        head_ = b;
      }
      tail_ = b;
      ++chunks_;
    }
    int n = tail_->Write(p, len);
    p += n;
    len -= n;
  }
}

void TSendBufferList::PopFirst() {
  if (head_ == nullptr) return;
  TBuffer* b = head_;
  head_ = b->next_;
  if (head_ == nullptr) tail_ = nullptr;
  delete b;
  --chunks_;
}

void TSendBufferList::Clear() {
  while (head_ != nullptr) PopFirst();
}

int64_t TSendBufferList::Bytes() const {
  int64_t n = 0;
  for (TBuffer* b = head_; b != nullptr; b = b->next_) n += b->Count();
  return n;
}
