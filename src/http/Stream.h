#pragma once
// Byte streams handed to an HTTP client: the POST body it reads and the response copy it writes.
// The caller owns them; the client only borrows.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes from the current position; returns the number read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes at the current position; returns the number written (less on failure).
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void Seek(int64_t position) = 0;
};

// A stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override;
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

// Bytes many readers share, read-only, each reader with a position of its own: one POST body
// serves every user of a run, so memory does not grow with users times body size.
class TSharedStream : public TStream {
 public:
  explicit TSharedStream(std::shared_ptr<const std::string> data) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  // Read-only: nothing is written.
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Size() const override { return static_cast<int64_t>(data_->size()); }
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override;
  const std::shared_ptr<const std::string>& Data() const { return data_; }

 private:
  std::shared_ptr<const std::string> data_;
  int64_t position_ = 0;
};

// A stream on a file, opened for one job and closed when the object goes away.
class TFileStream : public TStream {
 public:
  // Creates the file anew (an existing one is truncated). Returns null and sets error (the
  // system's message) when it cannot be created.
  static std::unique_ptr<TFileStream> Create(const std::string& path, std::string& error);
  // Opens an existing file for reading. Returns null and sets error when it cannot be opened.
  static std::unique_ptr<TFileStream> OpenRead(const std::string& path, std::string& error);
  ~TFileStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Size() const override;
  int64_t Position() const override;
  void Seek(int64_t position) override;
  // Flushes and closes; returns false when buffered data could not be written.
  bool Close();
  // The first write error seen, empty when none ("No space left on device" ...).
  const std::string& WriteError() const { return write_error_; }

 private:
  explicit TFileStream(std::FILE* f) : file_(f) {}
  std::FILE* file_;
  std::string write_error_;
};
