// The descriptor table sized ahead of a test, without a descriptor left behind.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "net/FdLimit.h"

namespace {

// The size of this process's descriptor table, as the kernel reports it.
long fdtablesize() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("FDSize:", 0) == 0) return std::stol(line.substr(7));
  }
  return -1;
}

int openfds() {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  while (dirent* e = readdir(d)) count += e->d_name[0] != '.';
  closedir(d);
  return count;
}

}  // namespace

TEST(FdTable, ReservedAtOnceWithinTheLimitAndNothingLeftOpen) {
  const int limit = raisefdlimit();
  ASSERT_GT(limit, 0);
  const int want = std::min(limit, 4096);
  const int before = openfds();
  reservefdtable(want);
  EXPECT_GE(fdtablesize(), want);
  EXPECT_EQ(openfds(), before);

  // More than the limit allows takes the limit, and still fails nothing.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  reservefdtable(1 << 20);
  EXPECT_EQ(openfds(), before);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
}
