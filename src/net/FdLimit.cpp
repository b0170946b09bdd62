#include "net/FdLimit.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace {

// An unlimited hard limit still stops at the kernel's per-process ceiling.
rlim_t kernelceiling() {
  rlim_t value = 1048576;
  if (FILE* f = std::fopen("/proc/sys/fs/nr_open", "r")) {
    unsigned long long v = 0;
    if (std::fscanf(f, "%llu", &v) == 1 && v > 0) value = static_cast<rlim_t>(v);
    std::fclose(f);
  }
  return value;
}

}  // namespace

int raisefdlimit() {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) != 0) return -1;
  rlim_t target = r.rlim_max == RLIM_INFINITY ? kernelceiling() : r.rlim_max;
  if (r.rlim_cur == RLIM_INFINITY || r.rlim_cur < target) {
    rlimit raised = r;
    raised.rlim_cur = target;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) r.rlim_cur = target;
  }
  if (r.rlim_cur == RLIM_INFINITY || r.rlim_cur > static_cast<rlim_t>(INT_MAX)) return INT_MAX;
  return static_cast<int>(r.rlim_cur);
}

void reservefdtable(int count) {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur != RLIM_INFINITY &&
      static_cast<rlim_t>(count) > r.rlim_cur) {
    count = static_cast<int>(r.rlim_cur);
  }
  int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  // A duplicate at the highest number makes the kernel size the table for it in one step.
  if (count - 1 > fd) {
    int high = fcntl(fd, F_DUPFD_CLOEXEC, count - 1);
    if (high >= 0) close(high);
  }
  close(fd);
}
