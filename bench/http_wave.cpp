// One wave of N THttpCli clients against pressbolt-target, all started in one tight loop and
// waited for on the event loop, as a load test run does; then the same wave from ab, so the
// report shows how our client compares with a well-known tool on this machine at this moment.
//
// usage: bench_http_wave [N ...]   (default 1000 10000)

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "http/HttpProt.h"
#include "net/EventLoop.h"
#include "net/FdLimit.h"

namespace {

const char kPath[] = "/size/100";
// A wave that takes longer than this is aborted, so the benchmark always ends.
constexpr uint64_t kWaveLimitMs = 120000;

struct TWave {
  int Ok = 0;
  int Failed = 0;
  double WallMs = 0;
  double CpuMs = 0;
  bool Valid = false;
};

double cpums() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

double wallms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

TWave ourwave(int port, int n) {
  TEventLoop& loop = TEventLoop::Default();
  TWave w;
  std::vector<THttpCli*> clients(static_cast<size_t>(n), nullptr);
  int done = 0;
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + kPath;
  for (int i = 0; i < n; ++i) {
    auto* c = new THttpCli(loop);
    c->URL = url;
    c->OnRequestDone = [&, i](THttpCli* sender, THttpRequest, uint16_t error) {
      if (error == 0 && sender->StatusCode == 200 && sender->BytesReceived == 100)
        ++w.Ok;
      else
        ++w.Failed;
      // Freed inside its own completion, as the load test frees its clients.
      delete sender;
      clients[static_cast<size_t>(i)] = nullptr;
      if (++done == n) loop.Stop();
    };
    clients[static_cast<size_t>(i)] = c;
  }

  TTimer watchdog(loop);
  watchdog.Start(kWaveLimitMs, [&] {
    std::fprintf(stderr, "wave of %d did not finish within %llu s: aborting\n", n,
                 static_cast<unsigned long long>(kWaveLimitMs / 1000));
    for (THttpCli* c : clients)
      if (c != nullptr) c->Abort();
    watchdog.Start(10000, [&] { loop.Stop(); });
  });

  double cpu0 = cpums(), t0 = wallms();
  for (int i = 0; i < n; ++i) {
    try {
      clients[static_cast<size_t>(i)]->Get();
    } catch (const std::exception& e) {
      // A client that cannot start never completes: count it here and free it.
      ++w.Failed;
      delete clients[static_cast<size_t>(i)];
      clients[static_cast<size_t>(i)] = nullptr;
      ++done;
    }
  }
  if (done < n) loop.Run();
  w.WallMs = wallms() - t0;
  w.CpuMs = cpums() - cpu0;
  watchdog.Stop();
  for (THttpCli* c : clients) delete c;  // only those cut off by the watchdog remain
  w.Valid = done == n;
  return w;
}

// ab's own "Requests per second" line, its completed and failed counts, and its CPU time.
TWave abwave(int port, int n) {
  TWave w;
  std::string url = "http://127.0.0.1:" + std::to_string(port) + kPath;
  bench::TRunResult r =
      bench::runprogram({"ab", "-q", "-r", "-n", std::to_string(n), "-c", std::to_string(n), url},
                        static_cast<int>(kWaveLimitMs));
  auto number = [&](const char* label) -> double {
    size_t at = r.Output.find(label);
    if (at == std::string::npos) return -1;
    return std::atof(r.Output.c_str() + at + std::strlen(label));
  };
  double rps = number("Requests per second:");
  double complete = number("Complete requests:");
  double failed = number("Failed requests:");
  double non2xx = number("Non-2xx responses:");
  if (r.TimedOut || rps <= 0 || complete < 0) {
    std::printf("  ab failed%s:\n%s\n", r.TimedOut ? " (time limit)" : "", r.Output.c_str());
    return w;
  }
  w.Failed = static_cast<int>(failed) + (non2xx > 0 ? static_cast<int>(non2xx) : 0);
  w.Ok = static_cast<int>(complete) - w.Failed;
  w.WallMs = complete / rps * 1000.0;
  w.CpuMs = r.CpuMs;
  w.Valid = true;
  return w;
}

void show(const char* who, int n, const TWave& w) {
  std::printf(
      "N=%-6d %-5s %6d ok %5d failed  wall %9.1f ms  %9.0f requests/s  CPU %7.1f us/request\n", n,
      who, w.Ok, w.Failed, w.WallMs, n / w.WallMs * 1000.0, w.CpuMs * 1000.0 / n);
}

bool haveab() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/ab";
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};

  int limit = raisefdlimit();
  std::printf("http_wave: one request per client to %s, descriptor limit %d\n", kPath, limit);
  try {
    bench::TTargetProcess target(PRESSBOLT_TARGET_PATH);
    bool ab = haveab();
    if (!ab) std::printf("ab not found (package apache2-utils): no comparison\n");
    ourwave(target.port(), 100);  // warms up the loop, the allocator and the target
    for (int n : sizes) {
      if (n <= 0 || n + 64 > limit) {
        std::printf("N=%d skipped: needs more descriptors than the limit of %d\n", n, limit);
        continue;
      }
      TWave ours = ourwave(target.port(), n);
      if (!ours.Valid) std::printf("N=%d our wave was cut off by its time limit\n", n);
      show("ours", n, ours);
      if (!ab) continue;
      TWave theirs = abwave(target.port(), n);
      if (!theirs.Valid) continue;
      show("ab", n, theirs);
      std::printf("N=%-6d ours/ab: wall %.2f  CPU per request %.2f\n", n,
                  ours.WallMs / theirs.WallMs, theirs.CpuMs > 0 ? ours.CpuMs / theirs.CpuMs : 0.0);
    }
  } catch (const std::exception& e) {
    std::printf("http_wave: %s\n", e.what());
    return 1;
  }
  return 0;
}
