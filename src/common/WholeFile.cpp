#include "common/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int readall(int fd, std::string& bytes, size_t maxbytes) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (size_t(n) > maxbytes - bytes.size()) return EFBIG;
    bytes.append(buf, static_cast<size_t>(n));
  }
}

// 0 when a file of st's kind may be read as kinds asks.
int kindproblem(const struct stat& st, int fd, TFileKinds kinds) {
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (S_ISREG(st.st_mode)) return 0;
  if (kinds != TFileKinds::AnyReadable) return EINVAL;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(fd)) return 0;
  return ENODEV;
}

}  // namespace

int readwholefile(const std::string& path, std::string& bytes, TFileKinds kinds, size_t maxbytes) {
  bytes.clear();
  const bool stdinput = kinds == TFileKinds::RegularOrStdin && path == "-";
  // O_NONBLOCK keeps a FIFO at the path from blocking the open itself. A stream the user named
  // is opened blocking: a FIFO read before its writer came would read as empty.
  const int flags = O_RDONLY | O_CLOEXEC | (kinds == TFileKinds::AnyReadable ? 0 : O_NONBLOCK);
  const int fd = stdinput ? STDIN_FILENO : ::open(path.c_str(), flags);
  if (fd < 0) return errno;
  struct stat st {};
  int error = fstat(fd, &st) == 0 ? 0 : errno;
  if (error == 0 && !stdinput) error = kindproblem(st, fd, kinds);
  if (error == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) > maxbytes) error = EFBIG;
  if (error == 0) {
    // A regular file opened without blocking reads as it would have; only the FIFO check needed it.
    if (!stdinput && S_ISREG(st.st_mode)) fcntl(fd, F_SETFL, O_RDONLY);
    if (S_ISREG(st.st_mode)) bytes.reserve(size_t(st.st_size));
    error = readall(fd, bytes, maxbytes);
  }
  if (!stdinput) ::close(fd);
  if (error != 0) {
    bytes.clear();
    bytes.shrink_to_fit();
  }
  return error;
}
