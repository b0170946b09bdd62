#include "report/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "results/LogFile.h"
#include "results/TempFiles.h"

namespace {

// N when text is prefix followed by a decimal descriptor number and nothing else; -1 otherwise.
int fdafter(const std::string& text, const std::string& prefix) {
  if (text.compare(0, prefix.size(), prefix) != 0 || text.size() == prefix.size()) return -1;
  if (text.size() - prefix.size() > 9) return -1;
  int n = 0;
  for (size_t i = prefix.size(); i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    n = n * 10 + (text[i] - '0');
  }
  return n;
}

int descriptorname(const std::string& path) {
  if (path == "-" || path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  if (path == "/dev/stdin") return STDIN_FILENO;
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
    if (int fd = fdafter(path, prefix); fd >= 0) return fd;
  }
  return -1;
}

bool writedescriptor(int fd, const std::string& path, const std::string& bytes,
                     std::string& error) {
  if (fd == STDOUT_FILENO) std::fflush(stdout);
  if (!writeall(fd, bytes)) {
    error =
        (path == "-" ? std::string("cannot write to stdout") : "cannot write \"" + path + "\"") +
        ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// A device, a FIFO or a socket: written into as it stands. Opening a FIFO waits for its reader,
// as anything writing into one does.
bool writeinplace(const std::string& path, const std::string& bytes, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  bool ok = fd >= 0 && writeall(fd, bytes);
  int saved = errno;
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (!ok) error = "cannot write \"" + path + "\": " + std::strerror(saved);
  return ok;
}

bool writereplacing(const std::string& path, const std::string& bytes, std::string& error) {
  // A link is written through: the file it names is replaced, and the link stays a link.
  const std::string target = linktarget(path);
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + "." + name + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot write \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  const int slot = remembertemp(temp.c_str());
  // mkstemp makes the file private; a result file gets the modes any new file would get.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  bool ok = writeall(fd, bytes) && fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) std::remove(temp.c_str());
  forgettemp(slot);
  if (!ok) error = "cannot write \"" + path + "\": " + std::strerror(saved);
  return ok;
}

}  // namespace

int outputdescriptor(const std::string& path) {
  // Each link on the way may name a descriptor ("/dev/stdout" -> "/proc/self/fd/1"); a link past
  // the descriptor's own leads to the file it holds open, which is not the point.
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (int fd = descriptorname(at); fd >= 0) return fd;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(at.c_str(), link, sizeof link - 1);
    if (n <= 0) return -1;
    std::string next(link, size_t(n));
    if (next.front() != '/') {
      const size_t slash = at.rfind('/');
      next = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + next;
    }
    at = next;
  }
  return -1;
}

bool writeoutput(const std::string& path, const std::string& bytes, std::string& error) {
  if (const int fd = outputdescriptor(path); fd >= 0) {
    return writedescriptor(fd, path, bytes, error);
  }
  struct stat st {};
  // Only a regular file is replaced; what is missing is made. Anything else is no file of ours.
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    return writeinplace(path, bytes, error);
  }
  return writereplacing(path, bytes, error);
}
