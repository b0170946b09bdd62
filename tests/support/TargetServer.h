#pragma once
// Starts pressbolt-target as a child process for a test.

#include <sys/types.h>

#include <string>
#include <vector>

// Starts pressbolt-target (PRESSBOLT_TARGET_PATH) as a child process on an ephemeral loopback port
// and stops it (SIGTERM, then SIGKILL, reaped) when the object goes away.
class TTargetServer {
 public:
  // Waits up to 10 s for its "listening on" line; throws std::runtime_error when it cannot start.
  TTargetServer() : TTargetServer({}, "") {}
  // With extra arguments (e.g. "--log"), and its stderr (where --log writes one line per
  // request) appended to the file stderrpath when that is not empty.
  TTargetServer(const std::vector<std::string>& args, const std::string& stderrpath);
  ~TTargetServer();
  TTargetServer(const TTargetServer&) = delete;
  TTargetServer& operator=(const TTargetServer&) = delete;

  int port() const { return port_; }
  // "http://" + hostport() + path
  std::string url(const std::string& path) const;
  // The address it listens on and its port: "127.0.0.1:" + port, "[::1]:" + port with --bind ::1.
  std::string hostport() const;
  // The child's process id (for tests that inspect or signal it).
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string host_;
};

// Whether this machine has the IPv6 loopback address ::1 (a socket can be bound to it). Tests of
// IPv6 skip without it.
bool haveipv6loopback();

// The message such a test skips with.
inline constexpr const char* kNoIpv6Loopback =
    "this machine has no IPv6 loopback address (::1 cannot be bound; see ip -6 addr show lo)";
