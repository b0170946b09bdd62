#include "support/TargetServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

#ifndef PRESSBOLT_TARGET_PATH
#define PRESSBOLT_TARGET_PATH ""
#endif

constexpr int kStartMs = 10000;
constexpr int kStopMs = 5000;

long long monotonicms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits for the child for up to ms milliseconds; true once it has been reaped.
bool reap(pid_t pid, int ms, int* status) {
  long long until = monotonicms() + ms;
  while (true) {
    pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return true;
    if (monotonicms() >= until) return false;
    usleep(5000);
  }
}

void stop(pid_t pid) {
  int status = 0;
  kill(pid, SIGTERM);
  if (!reap(pid, kStopMs, &status)) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

std::string describe(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace

TTargetServer::TTargetServer(const std::vector<std::string>& args, const std::string& stderrpath) {
  const std::string path = PRESSBOLT_TARGET_PATH;
  if (path.empty()) throw std::runtime_error("pressbolt-target was not built with this test");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe for pressbolt-target: ") + std::strerror(errno));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  if (!stderrpath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrpath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
  }
  // The child must not inherit a blocked SIGTERM or an ignored SIGPIPE from the test program.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv = {const_cast<char*>(path.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int rc = posix_spawn(&pid_, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    throw std::runtime_error("cannot start " + path + ": " + std::strerror(rc));
  }

  // Read the first line; the server writes nothing else to stdout, so the pipe can close after.
  std::string line;
  std::string failure;
  long long until = monotonicms() + kStartMs;
  while (line.find('\n') == std::string::npos && failure.empty()) {
    long long left = until - monotonicms();
    if (left <= 0) {
      failure = "no \"listening on\" line within " + std::to_string(kStartMs / 1000) + " s";
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    char buf[256];
    ssize_t got = read(fds[0], buf, sizeof buf);
    if (got > 0) {
      line.append(buf, static_cast<size_t>(got));
    } else if (got == 0) {
      int status = 0;
      failure = reap(pid_, 1000, &status) ? "it exited (" + describe(status) + ")"
                                          : "it closed its output";
    } else if (errno != EINTR) {
      failure = std::string("reading its output: ") + std::strerror(errno);
    }
  }
  close(fds[0]);

  // "listening on 127.0.0.1:PORT", or "listening on [::1]:PORT" with --bind ::1.
  const std::string prefix = "listening on ";
  if (failure.empty()) {
    line = line.substr(0, line.find('\n'));
    size_t colon = line.rfind(':');
    if (line.compare(0, prefix.size(), prefix) == 0 && colon != std::string::npos &&
        colon > prefix.size()) {
      host_ = line.substr(prefix.size(), colon - prefix.size());
      try {
        port_ = std::stoi(line.substr(colon + 1));
      } catch (const std::exception&) {
        port_ = 0;
      }
    }
    if (port_ <= 0 || port_ > 65535) failure = "unexpected first line \"" + line + "\"";
  }
  if (!failure.empty()) {
    int status = 0;
    if (!reap(pid_, 0, &status)) stop(pid_);
    pid_ = -1;
    throw std::runtime_error("pressbolt-target did not start: " + failure);
  }
}

TTargetServer::~TTargetServer() {
  if (pid_ > 0) stop(pid_);
}

std::string TTargetServer::url(const std::string& path) const {
  return "http://" + hostport() + path;
}

std::string TTargetServer::hostport() const {
  return host_ + ":" + std::to_string(port_);
}

bool haveipv6loopback() {
  int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}
