#pragma once
// Source ports chosen by the client. Above ~14 000 connections to one address and port, the
// kernel's search for a free ephemeral port in connect() grows with the connections already open,
// so a wave of 19 000 users spends seconds inside connect(). Giving each socket a narrow window of
// the port range (IP_LOCAL_PORT_RANGE, Linux 6.3 and later) keeps every search short; the windows
// move on from socket to socket through the system's ip_local_port_range.

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

// An inclusive range of ports.
struct TPortRange {
  int lo = 0;
  int hi = 0;
  bool operator==(const TPortRange&) const = default;
};

// The two numbers of /proc/sys/net/ipv4/ip_local_port_range; false for anything else.
bool parseportrange(const std::string& text, TPortRange& range);
// The list of /proc/sys/net/ipv4/ip_local_reserved_ports ("1000-1005,2000"), sorted and merged.
// Malformed items are skipped.
std::vector<TPortRange> parsereservedports(const std::string& text);

// Consecutive windows of Width ports through a range, starting again at its low end after the
// high one. A window that lies wholly inside the reserved ports is passed over.
class TPortWindows {
 public:
  static constexpr int DefaultWidth = 16;

  TPortWindows(TPortRange range, std::vector<TPortRange> reserved, int width = DefaultWidth);

  // The next window (the last one of the range may be narrower).
  TPortRange Next();
  // The next window starts at port (clamped into the range); for tests.
  void MoveTo(int port);
  TPortRange Range() const { return range_; }
  int Width() const { return width_; }

 private:
  bool reserved(TPortRange w) const;
  TPortRange range_;
  std::vector<TPortRange> reserved_;
  int width_;
  int cursor_;
};

// The process's windows over the system's range, read once from /proc (32768-60999 when it cannot
// be read).
TPortWindows& portwindows();

// The calls a windowed connect makes, replaceable so tests can play an older kernel.
struct TPortWindowCalls {
  int (*setsockopt)(int fd, int level, int name, const void* value, socklen_t len);
  int (*connect)(int fd, const sockaddr* address, socklen_t len);
};
// Replaces the calls (nullptr members restore the system's) and forgets that the option was
// found missing.
void setportwindowcalls(TPortWindowCalls calls);

// Windows tried before the kernel is left to choose from the whole range.
constexpr int MaxPortWindowTries = 8;

// Connections that must be open in the process before a socket takes a window: below that the
// kernel's own search finds a free port at once, and the window would only add a call to every
// connection. Sockets count their open connections with noteconnection.
constexpr int DefaultPortWindowFrom = 8192;
// Windows from that many open connections on (0: always); for tests.
void setportwindowfrom(int open);
// Whether the next connect should take a window.
bool portwindowwanted();
// A connection opened (+1) or closed (-1).
void noteconnection(int delta);

// connect() with the source port taken from the next window. A full window (EADDRNOTAVAIL or
// EADDRINUSE) moves on to the next one, at most MaxPortWindowTries times; then the kernel chooses
// as without windows, and that attempt's outcome is returned. Where the option does not exist
// (ENOPROTOOPT) the process stops asking for it. Returns connect's result, errno set on -1.
// The option is an IPv4-level one, but the kernel applies it to IPv6 sockets as well, so both
// families draw their source ports from the same windows.
int connectfromwindow(int fd, const sockaddr* address, socklen_t len);
int connectfromwindow(int fd, const sockaddr_in& address);
