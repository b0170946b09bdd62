#include "engine/StartLimits.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "net/PortWindow.h"

namespace {

std::string readproc(const char* path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long long opendescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  long long n = 0;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  closedir(dir);
  return n - 1;  // the directory's own descriptor
}

}  // namespace

TMachineLimits machinelimits() {
  TMachineLimits m;
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur != RLIM_INFINITY) {
    m.fdlimit = static_cast<long long>(r.rlim_cur);
  }
  m.fdsopen = opendescriptors();
  TPortRange range;
  if (parseportrange(readproc("/proc/sys/net/ipv4/ip_local_port_range"), range)) {
    m.portlo = range.lo;
    m.porthi = range.hi;
    m.ports = range.hi - range.lo + 1;
    for (const TPortRange& r :
         parsereservedports(readproc("/proc/sys/net/ipv4/ip_local_reserved_ports"))) {
      const int lo = std::max(r.lo, range.lo), hi = std::min(r.hi, range.hi);
      if (lo <= hi) m.ports -= hi - lo + 1;
    }
  }
  return m;
}

std::vector<std::string> limitwarnings(long long users, const TMachineLimits& m) {
  std::vector<std::string> out;
  const std::string need = std::to_string(users) + " simultaneous users";
  if (m.fdlimit >= 0) {
    const long long room = std::max(0LL, m.fdlimit - m.fdsopen - kSpareFds);
    if (users > room) {
      out.push_back("Warning: " + need + " need a descriptor each, but the open-files limit of " +
                    std::to_string(m.fdlimit) + " (ulimit -n) leaves room for " +
                    std::to_string(room) +
                    " sockets: the requests beyond it fail on this machine (socket code 10024), "
                    "not at the server. Raise the hard limit (ulimit -Hn as root, "
                    "/etc/security/limits.conf or systemd's LimitNOFILE) and start again.");
    }
  }
  if (m.ports >= 0 && users > m.ports) {
    out.push_back("Warning: " + need +
                  " of one target address need a local port each, but the "
                  "local port range " +
                  std::to_string(m.portlo) + "-" + std::to_string(m.porthi) + " holds " +
                  std::to_string(m.ports) +
                  " free ports: the requests beyond it fail on this machine (socket code 10049), "
                  "not at the server. Widen the range (sysctl net.ipv4.ip_local_port_range) or "
                  "split the test over several machines.");
  }
  return out;
}
