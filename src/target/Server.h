#pragma once
// The serving loop of pressbolt-target: one thread, one level-triggered epoll set, non-blocking
// sockets, a timer heap for trickling and draining connections, and a signalfd for SIGTERM/SIGINT.

#include <cstdint>
#include <memory>
#include <queue>
#include <string>
#include <vector>

#include "target/Connection.h"

// The listen backlog asked for; the kernel caps it at net.core.somaxconn.
constexpr int kBacklog = 65535;

class TServer {
 public:
  explicit TServer(bool log);
  ~TServer();
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;

  // Binds addr (numeric IPv4 or IPv6) and port (0 = ephemeral) and listens; returns the bound
  // port. Throws std::runtime_error with the reason on failure.
  uint16_t listen(const std::string& addr, uint16_t port);
  // Serves until SIGTERM or SIGINT; the signals are blocked in the calling thread beforehand.
  void run();
  // Speaks TLS on every connection accepted from now on (the server owns the context).
  void settls(SSL_CTX* tls);
  // Number of open client connections.
  size_t connections() const { return open_; }

 private:
  struct TSlot {
    std::unique_ptr<TConnection> Conn;
    uint32_t Serial = 0;
    uint32_t Mask = 0;
    int64_t Armed = 0;  // deadline already in the heap
  };
  struct TDue {
    int64_t At;
    int Fd;
    uint32_t Serial;
    bool operator>(const TDue& o) const { return At > o.At; }
  };

  void acceptall(int64_t now);
  void dispatch(uint64_t tag, uint32_t events, int64_t now);
  void settle(int fd);
  void runtimers(int64_t now);
  int timeout(int64_t now) const;
  void pauseaccept(int64_t now);

  bool log_;
  SSL_CTX* tls_ = nullptr;
  int epoll_ = -1;
  int listen_ = -1;
  int signals_ = -1;
  uint32_t serial_ = 0;
  size_t open_ = 0;
  int64_t resumeaccept_ = 0;  // while descriptors ran out: when to try accepting again
  std::vector<TSlot> slots_;  // by descriptor number
  std::priority_queue<TDue, std::vector<TDue>, std::greater<TDue>> timers_;
};

// The monotonic clock in milliseconds.
int64_t nowms();
