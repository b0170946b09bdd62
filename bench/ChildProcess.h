#pragma once
// Child processes for the benchmarks: pressbolt-target as the server, and other programs whose
// output and CPU time a benchmark reads. Header-only, because every .cpp here is a program.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

inline long long monotonicms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Starts argv[0] with stdout and stderr on a pipe; returns the pid and sets *out to the read end.
inline pid_t spawn(const std::vector<std::string>& args, int* out) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
  }
  *out = fds[0];
  return pid;
}

// Reads fd until end of file, until stop(text) is true, or until the deadline (then false).
template <class Stop>
bool readuntil(int fd, std::string& text, long long deadline, Stop stop) {
  while (!stop(text)) {
    long long left = deadline - monotonicms();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno != EINTR) return false;
    if (n <= 0) continue;
    char buf[4096];
    ssize_t got = read(fd, buf, sizeof buf);
    if (got == 0) return true;
    if (got > 0) text.append(buf, static_cast<size_t>(got));
    if (got < 0 && errno != EINTR) return false;
  }
  return true;
}

// A program run to its end (or killed at the time limit), with its output and CPU time.
struct TRunResult {
  std::string Output;
  int Status = -1;
  bool TimedOut = false;
  double CpuMs = 0;  // user + system time of the child
  long MaxRssKb = 0;  // the child's peak resident memory
};

inline TRunResult runprogram(const std::vector<std::string>& args, int limitms) {
  TRunResult r;
  int fd = -1;
  pid_t pid = spawn(args, &fd);
  r.TimedOut =
      !readuntil(fd, r.Output, monotonicms() + limitms, [](const std::string&) { return false; });
  close(fd);
  if (r.TimedOut) kill(pid, SIGKILL);
  rusage ru{};
  while (wait4(pid, &r.Status, 0, &ru) < 0 && errno == EINTR) {
  }
  r.CpuMs = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 +
            (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
  r.MaxRssKb = ru.ru_maxrss;
  return r;
}

// pressbolt-target on an ephemeral loopback port for the lifetime of the object.
class TTargetProcess {
 public:
  explicit TTargetProcess(const std::string& path) {
    int fd = -1;
    pid_ = spawn({path}, &fd);
    std::string line;
    readuntil(fd, line, monotonicms() + 10000,
              [](const std::string& t) { return t.find('\n') != std::string::npos; });
    close(fd);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.compare(0, prefix.size(), prefix) == 0)
      port_ = std::atoi(line.c_str() + prefix.size());
    if (port_ <= 0) {
      stop();
      throw std::runtime_error("pressbolt-target did not start: \"" + line + "\"");
    }
  }
  ~TTargetProcess() { stop(); }
  TTargetProcess(const TTargetProcess&) = delete;
  TTargetProcess& operator=(const TTargetProcess&) = delete;

  int port() const { return port_; }

 private:
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    long long until = monotonicms() + 5000;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (monotonicms() >= until) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      usleep(5000);
    }
    pid_ = -1;
  }

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace bench
