// pressbolt-target: a small HTTP/1.0 server with scriptable routes, for tests, benchmarks and the
// demo. Prints "listening on ADDR:PORT" once it accepts connections, then serves until
// SIGTERM or SIGINT.

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "target/Server.h"
#include "target/TlsServer.h"

namespace {

void usage(FILE* to) {
  std::fprintf(to,
               "usage: pressbolt-target [--port N] [--bind ADDR] [--log] [--parent PID]\n"
               "                        [--tls-cert FILE --tls-key FILE | --tls-self-signed]\n"
               "                        [--tls-write-cert FILE]\n");
}

// Thousands of simultaneous clients need more descriptors than the usual soft limit of 1024.
// Returns the soft limit now in force.
long raisefdlimit() {
  rlimit rl{};
  if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return -1;
  if (rl.rlim_cur < rl.rlim_max) {
    rl.rlim_cur = rl.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &rl) != 0) getrlimit(RLIMIT_NOFILE, &rl);
  }
  return long(rl.rlim_cur);
}

// The kernel silently caps every listen backlog at this value.
long somaxconn() {
  long v = -1;
  if (FILE* f = std::fopen("/proc/sys/net/core/somaxconn", "r")) {
    if (std::fscanf(f, "%ld", &v) != 1) v = -1;
    std::fclose(f);
  }
  return v;
}

bool parseport(const char* s, uint16_t& port) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < 0 || v > 65535) return false;
  port = uint16_t(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string addr = "127.0.0.1";
  uint16_t port = 0;
  bool log = false;
  long parent = 0;  // a process whose end ends this server too
  std::string tlscert, tlskey, tlswritecert;
  bool selfsigned = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--port" && i + 1 < argc) {
      if (!parseport(argv[++i], port)) {
        std::fprintf(stderr, "pressbolt-target: bad port: %s\n", argv[i]);
        return 2;
      }
    } else if (a == "--bind" && i + 1 < argc) {
      addr = argv[++i];
    } else if (a == "--tls-cert" && i + 1 < argc) {
      tlscert = argv[++i];
    } else if (a == "--tls-key" && i + 1 < argc) {
      tlskey = argv[++i];
    } else if (a == "--tls-self-signed") {
      selfsigned = true;
    } else if (a == "--tls-write-cert" && i + 1 < argc) {
      tlswritecert = argv[++i];
    } else if (a == "--log") {
      log = true;
    } else if (a == "--parent" && i + 1 < argc) {
      char* end = nullptr;
      parent = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || parent <= 0) {
        std::fprintf(stderr, "pressbolt-target: bad parent process id: %s\n", argv[i]);
        return 2;
      }
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "pressbolt-target: unknown argument: %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }

  if (tlscert.empty() != tlskey.empty() || (selfsigned && !tlscert.empty()) ||
      (!tlswritecert.empty() && !selfsigned)) {
    std::fprintf(stderr,
                 "pressbolt-target: TLS takes --tls-cert with --tls-key, or --tls-self-signed "
                 "(whose certificate --tls-write-cert writes)\n");
    return 2;
  }

  if (parent > 0) {
    // A parent killed outright (SIGKILL, a SIGPIPE from "| head") cannot stop us itself: the
    // kernel sends SIGTERM when it goes. One that went before this took hold is checked here.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 0;
  }
  // The parent may stop reading our stdout after the first line.
  std::signal(SIGPIPE, SIG_IGN);
  long fds = raisefdlimit();
  if (log) {
    // Standard streams, epoll, listener and signalfd take six descriptors.
    std::fprintf(stderr, "descriptor limit %ld: at most %ld simultaneous connections\n", fds,
                 fds - 6);
    long backlog = somaxconn();
    if (backlog > 0 && backlog < kBacklog)
      std::fprintf(stderr, "listen backlog capped at %ld by net.core.somaxconn\n", backlog);
  }
  try {
    TServer server(log);
    if (selfsigned) {
      server.settls(tlsserverselfsigned(tlswritecert));
    } else if (!tlscert.empty()) {
      server.settls(tlsserverfromfiles(tlscert, tlskey));
    }
    uint16_t bound = server.listen(addr, port);
    std::string shown = addr.find(':') == std::string::npos ? addr : "[" + addr + "]";
    std::printf("listening on %s:%u\n", shown.c_str(), unsigned(bound));
    std::fflush(stdout);
    server.run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pressbolt-target: %s\n", e.what());
    return 1;
  }
  return 0;
}
