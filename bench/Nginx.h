#pragma once
// nginx as the server of a benchmark: its own configuration, document and logs in a temporary
// directory, listening on a few loopback ports, started as a child and stopped with the object.
// No system setting is changed. Header-only, like ChildProcess.h.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace bench {

// Whether a program of that name is on the PATH.
inline bool inpath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/sbin:/usr/bin:/sbin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

inline bool portfree(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

inline bool canconnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

class TNginx {
 public:
  // Serves Path (Size bytes) on `count` consecutive ports below the ephemeral range, so the
  // clients' source ports never meet them. Check ok() and error afterwards.
  static constexpr const char* Path = "/size100";
  static constexpr int Size = 100;

  explicit TNginx(int count) {
    char dir[] = "/tmp/pressbolt-nginx-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
      error = "cannot make a temporary directory";
      return;
    }
    dir_ = dir;
    // The workers may run as another user: they must be able to read the document.
    chmod(dir, 0755);
    mkdir((dir_ + "/html").c_str(), 0755);
    std::ofstream(dir_ + "/html" + Path) << std::string(Size, 'x');
    int base = 20000 + static_cast<int>(getpid() % 300) * 32;
    for (int tries = 0; tries < 100 && ports_.empty(); ++tries, base += 37) {
      std::vector<int> ports;
      for (int p = base; p < base + count && portfree(p); ++p) ports.push_back(p);
      if (static_cast<int>(ports.size()) == count) ports_ = ports;
    }
    if (ports_.empty()) {
      error = "no free loopback ports for nginx";
      return;
    }
    std::ofstream conf(dir_ + "/nginx.conf");
    conf << "worker_processes 1;\nworker_rlimit_nofile 20000;\ndaemon off;\n"
         << "pid " << dir_ << "/nginx.pid;\nerror_log " << dir_ << "/error.log warn;\n"
         << "events { worker_connections 19990; multi_accept on; }\n"
         << "http {\n  access_log off;\n  keepalive_timeout 0;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      conf << "  " << t << "_temp_path " << dir_ << "/" << t << ";\n";
    }
    conf << "  server {\n";
    for (int p : ports_) conf << "    listen 127.0.0.1:" << p << " backlog=65535;\n";
    conf << "    root " << dir_ << "/html;\n  }\n}\n";
    conf.close();
    // The pipe stays open (and unread) while nginx runs: a message on its stderr must not kill it.
    pid_ = spawn({"nginx", "-p", dir_ + "/", "-e", dir_ + "/error.log", "-c", dir_ + "/nginx.conf"},
                 &out_);
    long long until = monotonicms() + 10000;
    while (!canconnect(ports_.back()) && monotonicms() < until) usleep(20000);
    if (!canconnect(ports_.back())) {
      std::ifstream log(dir_ + "/error.log");
      std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
      error = "nginx did not start: " + text;
      stop();
    }
  }
  ~TNginx() {
    stop();
    if (!dir_.empty()) {
      std::string cleanup = "rm -rf '" + dir_ + "'";
      if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir_.c_str());
    }
  }
  TNginx(const TNginx&) = delete;
  TNginx& operator=(const TNginx&) = delete;

  bool ok() const { return pid_ > 0 && error.empty(); }
  int port(int i) const { return ports_[static_cast<size_t>(i) % ports_.size()]; }
  int ports() const { return static_cast<int>(ports_.size()); }
  std::string error;

 private:
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    long long until = monotonicms() + 10000;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (monotonicms() >= until) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      usleep(10000);
    }
    pid_ = -1;
    close(out_);
    out_ = -1;
  }

  std::string dir_;
  int out_ = -1;
  std::vector<int> ports_;
  pid_t pid_ = -1;
};

}  // namespace bench
