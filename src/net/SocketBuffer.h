#pragma once
// Send buffering of the socket layer: data handed to a socket are copied into fixed-size chunks
// and handed to the platform as fast as it accepts them.

#include <cstdint>
#include <memory>

// One send chunk: a block of fixed size with a write count and a read count.
class TBuffer {
 public:
  static constexpr int DefaultSize = 1514;

  // A chunk of size bytes (DefaultSize when size <= 0).
  explicit TBuffer(int size = 0);

  // Copies as much of data as fits behind the written bytes; returns the number copied.
  int Write(const void* data, int len);
  // Address of the first unread byte; len receives the number of unread bytes.
  const char* Peek(int& len) const;
  // Marks up to n unread bytes as read; when everything has been read both counts return to 0.
  void Remove(int n);
  // Changes the block size, keeping the written bytes (the size never drops below them).
  void SetBufSize(int size);

  int BufSize() const { return size_; }
  int Count() const { return wr_ - rd_; }  // unread bytes

 private:
  friend class TSendBufferList;
  std::unique_ptr<char[]> data_;
  int size_;
  int wr_ = 0;
  int rd_ = 0;
  TBuffer* next_ = nullptr;
};

// The queue of send chunks of one socket (first chunk is sent first). Appending fills the last
// chunk and then adds new chunks; there is no limit on the amount buffered.
class TSendBufferList {
 public:
  explicit TSendBufferList(int chunksize = TBuffer::DefaultSize) : chunksize_(chunksize) {}
  ~TSendBufferList();
  TSendBufferList(const TSendBufferList&) = delete;
  TSendBufferList& operator=(const TSendBufferList&) = delete;

  // Stores all len bytes of data.
  void Append(const void* data, int len);
  // The chunk to send from next, or nullptr when there is none.
  TBuffer* First() const { return head_; }
  // Whether the first chunk is also the last one.
  bool Single() const { return head_ == tail_; }
  // Deletes the first chunk.
  void PopFirst();
  // Deletes every chunk.
  void Clear();

  int ChunkSize() const { return chunksize_; }
  // Number of chunks held (including an emptied last one kept for reuse).
  int Chunks() const { return chunks_; }
  // Unread bytes in all chunks.
  int64_t Bytes() const;
  // Whether no unread byte is held (without walking the chunks).
  bool Empty() const { return head_ == nullptr || (head_ == tail_ && head_->Count() == 0); }

 private:
  int chunksize_;
  int chunks_ = 0;
  TBuffer* head_ = nullptr;
  TBuffer* tail_ = nullptr;
};
