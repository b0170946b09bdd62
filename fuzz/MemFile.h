#pragma once
// A file in memory with a path, so readers that open files by name can be fed fuzz input without
// touching the disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class TMemFile {
 public:
  TMemFile(const void* data, size_t size) : fd_(memfd_create("fuzz", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t n = write(fd_, p, size);
      if (n <= 0) std::abort();
      p += n;
      size -= static_cast<size_t>(n);
    }
  }
  ~TMemFile() { close(fd_); }
  TMemFile(const TMemFile&) = delete;
  TMemFile& operator=(const TMemFile&) = delete;
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

inline void check(bool ok) {
  if (!ok) std::abort();
}
