#include "report/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "results/LogFile.h"
#include "results/TempFiles.h"

bool writeoutput(const std::string& path, const std::string& bytes, std::string& error) {
  if (path == "-") {
    std::fflush(stdout);
    if (!writeall(STDOUT_FILENO, bytes)) {
      error = std::string("cannot write to stdout: ") + std::strerror(errno);
      return false;
    }
    return true;
  }
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
  if (!ok) {
    error = "cannot write \"" + path + "\": " + std::strerror(saved);
  }
  return ok;
}
