#include "common/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int readall(int fd, std::string& bytes) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    bytes.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace

int readwholefile(const std::string& path, std::string& bytes, TFileKinds kinds) {
  bytes.clear();
  // O_NONBLOCK keeps a FIFO at the path from blocking the open itself. A stream the user named
  // is opened blocking: a FIFO read before its writer came would read as empty.
  const int flags = O_RDONLY | O_CLOEXEC | (kinds == TFileKinds::RegularOnly ? O_NONBLOCK : 0);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) return errno;
  struct stat st {};
  int error = fstat(fd, &st) == 0 ? 0 : errno;
  if (error == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
  if (error == 0 && !S_ISREG(st.st_mode) && kinds == TFileKinds::RegularOnly) error = EINVAL;
  if (error == 0) error = readall(fd, bytes);
  ::close(fd);
  if (error != 0) bytes.clear();
  return error;
}
