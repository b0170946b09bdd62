#include "http/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  int64_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > Size()) data_.resize(static_cast<size_t>(position_ + count));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

void TMemoryStream::Seek(int64_t position) {
  position_ = std::clamp<int64_t>(position, 0, Size());
}

int64_t TSharedStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  int64_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, data_->data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

void TSharedStream::Seek(int64_t position) {
  position_ = std::clamp<int64_t>(position, 0, Size());
}

std::unique_ptr<TFileStream> TFileStream::Create(const std::string& path, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "w+b");
  if (f == nullptr) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<TFileStream>(new TFileStream(f));
}

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& path, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<TFileStream>(new TFileStream(f));
}

TFileStream::~TFileStream() {
  Close();
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (file_ == nullptr || count <= 0) return 0;
  return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (file_ == nullptr || count <= 0) return 0;
  size_t n = std::fwrite(buffer, 1, static_cast<size_t>(count), file_);
  if (n < static_cast<size_t>(count) && write_error_.empty()) write_error_ = std::strerror(errno);
  return static_cast<int64_t>(n);
}

int64_t TFileStream::Size() const {
  if (file_ == nullptr) return 0;
  long here = std::ftell(file_);
  std::fseek(file_, 0, SEEK_END);
  long size = std::ftell(file_);
  std::fseek(file_, here, SEEK_SET);
  return size;
}

int64_t TFileStream::Position() const {
  return file_ == nullptr ? 0 : std::ftell(file_);
}

void TFileStream::Seek(int64_t position) {
  if (file_ != nullptr) std::fseek(file_, static_cast<long>(position), SEEK_SET);
}

bool TFileStream::Close() {
  if (file_ == nullptr) return write_error_.empty();
  if (std::fclose(file_) != 0 && write_error_.empty()) write_error_ = std::strerror(errno);
  file_ = nullptr;
  return write_error_.empty();
}
