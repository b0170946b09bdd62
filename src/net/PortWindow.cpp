#include "net/PortWindow.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <utility>

#include "common/WholeFile.h"

#ifndef IP_LOCAL_PORT_RANGE
#define IP_LOCAL_PORT_RANGE 51
#endif

namespace {

std::string readfile(const char* path) {
  std::string text;
  readwholefile(path, text);
  return text;
}

bool validport(long v) {
  return v >= 1 && v <= 65535;
}

TPortWindowCalls& calls() {
  static TPortWindowCalls c{::setsockopt, ::connect};
  return c;
}

bool& optionmissing() {
  static bool missing = false;
  return missing;
}

std::atomic<int> windowfrom{DefaultPortWindowFrom};
std::atomic<int> openconnections{0};

int setwindow(int fd, TPortRange w) {
  // The kernel reads the option as hi << 16 | lo; 0 means the system's range again.
  uint32_t value = (uint32_t(w.hi) << 16) | uint32_t(w.lo);
  return calls().setsockopt(fd, IPPROTO_IP, IP_LOCAL_PORT_RANGE, &value, sizeof value);
}

int connectto(int fd, const sockaddr* address, socklen_t len) {
  return calls().connect(fd, address, len);
}

}  // namespace

bool parseportrange(const std::string& text, TPortRange& range) {
  std::istringstream in(text);
  long lo = 0, hi = 0;
  std::string rest;
  if (!(in >> lo >> hi) || (in >> rest) || !validport(lo) || !validport(hi) || lo > hi) {
    return false;
  }
  range = {int(lo), int(hi)};
  return true;
}

std::vector<TPortRange> parsereservedports(const std::string& text) {
  std::vector<TPortRange> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    long lo = 0, hi = 0;
    char dash = 0, extra = 0;
    int n = std::sscanf(item.c_str(), " %ld %c %ld %c", &lo, &dash, &hi, &extra);
    if (n == 1) {
      hi = lo;
    } else if (n != 3 || dash != '-') {
      continue;
    }
    if (!validport(lo) || !validport(hi) || lo > hi) continue;
    items.push_back({int(lo), int(hi)});
  }
  std::sort(items.begin(), items.end(),
            [](const TPortRange& a, const TPortRange& b) { return a.lo < b.lo; });
  std::vector<TPortRange> merged;
  for (const TPortRange& r : items) {
    if (!merged.empty() && r.lo <= merged.back().hi + 1) {
      merged.back().hi = std::max(merged.back().hi, r.hi);
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

// ---- TPortWindows -----------------------------------------------------------------------------

TPortWindows::TPortWindows(TPortRange range, std::vector<TPortRange> reserved, int width)
    : range_(range),
      reserved_(std::move(reserved)),
      width_(width > 0 ? width : 1),
      cursor_(range.lo) {}

bool TPortWindows::reserved(TPortRange w) const {
  // The reserved ranges are merged, so a window wholly inside them lies inside one of them.
  for (const TPortRange& r : reserved_) {
    if (r.lo <= w.lo && w.hi <= r.hi) return true;
  }
  return false;
}

TPortRange TPortWindows::Next() {
  int windows = (range_.hi - range_.lo) / width_ + 1;
  TPortRange w{};
  for (int i = 0; i < windows; ++i) {
    w = {cursor_, std::min(cursor_ + width_ - 1, range_.hi)};
    cursor_ = w.hi >= range_.hi ? range_.lo : w.hi + 1;
    if (!reserved(w)) return w;
  }
  return w;  // everything reserved: the kernel will say so
}

void TPortWindows::MoveTo(int port) {
  cursor_ = std::clamp(port, range_.lo, range_.hi);
}

TPortWindows& portwindows() {
  static TPortWindows windows = [] {
    TPortRange range{32768, 60999};
    parseportrange(readfile("/proc/sys/net/ipv4/ip_local_port_range"), range);
    TPortWindows w(range,
                   parsereservedports(readfile("/proc/sys/net/ipv4/ip_local_reserved_ports")));
    // Processes on one machine (segments of one test, say) start at different windows, so they
    // do not all compete for the same ports first.
    int windows = (range.hi - range.lo) / w.Width() + 1;
    w.MoveTo(range.lo + int((uint64_t(getpid()) * 7919u) % uint64_t(windows)) * w.Width());
    return w;
  }();
  return windows;
}

void setportwindowfrom(int open) {
  windowfrom.store(open, std::memory_order_relaxed);
}

bool portwindowwanted() {
  return openconnections.load(std::memory_order_relaxed) >=
         windowfrom.load(std::memory_order_relaxed);
}

void noteconnection(int delta) {
  openconnections.fetch_add(delta, std::memory_order_relaxed);
}

void setportwindowcalls(TPortWindowCalls c) {
  calls().setsockopt = c.setsockopt != nullptr ? c.setsockopt : ::setsockopt;
  calls().connect = c.connect != nullptr ? c.connect : ::connect;
  optionmissing() = false;
}

int connectfromwindow(int fd, const sockaddr_in& address) {
  return connectfromwindow(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int connectfromwindow(int fd, const sockaddr* address, socklen_t len) {
  if (optionmissing()) return connectto(fd, address, len);
  TPortWindows& windows = portwindows();
  for (int tries = 0; tries < MaxPortWindowTries; ++tries) {
    if (setwindow(fd, windows.Next()) != 0) {
      // An older kernel: ask no more. Any other refusal leaves this socket to the kernel.
      if (errno == ENOPROTOOPT) optionmissing() = true;
      return connectto(fd, address, len);
    }
    int rc = connectto(fd, address, len);
    if (rc == 0 || (errno != EADDRNOTAVAIL && errno != EADDRINUSE)) return rc;
  }
  // Every window tried was full: the kernel searches the whole range, and its verdict stands.
  int saved = errno;
  if (setwindow(fd, TPortRange{0, 0}) != 0) {
    errno = saved;
    return -1;
  }
  return connectto(fd, address, len);
}
