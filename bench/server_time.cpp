// The server's own time (server_ms, from kernel receive stamps) against the user's wait, in two
// settings where the answer is known:
//   - nginx on loopback answering a wave of N users at once (default 15000): every server_ms at
//     most its wait, the smallest within a couple of milliseconds, and the wait's median far
//     above server_ms's, since our start loop is taken out;
//   - pressbolt-target's /delay?ms=100 with 300 users: server_ms from 100 ms on, never below.
// Prints the figures of each round; ROUNDS=3 in the environment by default.
//
// usage: bench_server_time [N]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Nginx.h"
#include "net/FdLimit.h"

namespace {

constexpr int kLimitMs = 120000;

struct TFigures {
  bool ok = false;
  int requests = 0, stamped = 0, overwait = 0;
  double servermin = 0, servermedian = 0, serverp99 = 0, servermax = 0;
  double waitmin = 0, waitmedian = 0;
  double cpus = 0;
};

TFigures wave(const std::string& url, int users, const std::string& dir) {
  TFigures f;
  const std::string json = dir + "/r.json";
  bench::TRunResult r =
      bench::runprogram({PRESSBOLT_CLI_PATH, "-q", "--users", std::to_string(users), "--output-dir",
                         dir, "--json", json, url},
                        kLimitMs);
  f.cpus = r.CpuMs / 1000;
  if (r.TimedOut || !WIFEXITED(r.Status) || WEXITSTATUS(r.Status) != 0) return f;
  std::ifstream in(json);
  std::stringstream text;
  text << in.rdbuf();
  const auto doc = nlohmann::json::parse(text.str(), nullptr, false);
  if (doc.is_discarded() || doc["runs"].empty()) return f;
  const auto& run = doc["runs"][0];
  const auto& server = run["requests"]["server_ms"];
  const auto& wait = run["requests"]["wait_ms"];
  f.requests = static_cast<int>(wait.size());
  for (size_t i = 0; i < wait.size(); ++i) {
    if (server[i].is_null()) continue;
    ++f.stamped;
    if (server[i].get<double>() > wait[i].get<double>()) ++f.overwait;
  }
  auto number = [](const nlohmann::json& v) { return v.is_null() ? -1.0 : v.get<double>(); };
  f.servermin = number(run["server_ms"]["min"]);
  f.servermedian = number(run["server_ms"]["median"]);
  f.serverp99 = number(run["server_ms"]["p99"]);
  f.servermax = number(run["server_ms"]["max"]);
  f.waitmin = number(run["wait_ms"]["min"]);
  f.waitmedian = number(run["wait_ms"]["median"]);
  f.ok = true;
  return f;
}

void header() {
  std::printf(
      "| round | requests | stamped | server > wait | server min | median | p99 | max "
      "| wait min | wait median | wait median - server median | CPU s |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
}

void row(int round, const TFigures& f) {
  if (!f.ok) {
    std::printf("| %d | failed |\n", round);
    return;
  }
  std::printf("| %d | %d | %d | %d | %.3f | %.3f | %.3f | %.3f | %.1f | %.1f | %.1f | %.2f |\n",
              round, f.requests, f.stamped, f.overwait, f.servermin, f.servermedian, f.serverp99,
              f.servermax, f.waitmin, f.waitmedian, f.waitmedian - f.servermedian, f.cpus);
}

}  // namespace

int main(int argc, char** argv) {
  const int users = argc > 1 ? std::atoi(argv[1]) : 15000;
  const char* env = std::getenv("ROUNDS");
  const int rounds = env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : 3;
  const int limit = raisefdlimit();
  char dir[] = "/tmp/pressbolt-servertime-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;

  bench::TNginx nginx(rounds);
  if (!nginx.ok()) {
    std::printf("server_time: %s (no nginx wave)\n", nginx.error.c_str());
  } else if (users + 64 > limit) {
    std::printf("N=%d skipped: needs more descriptors than the limit of %d\n", users, limit);
  } else {
    std::printf("\nnginx on loopback (GET %s, %d bytes), %d users at once\n\n", bench::TNginx::Path,
                bench::TNginx::Size, users);
    header();
    for (int round = 0; round < rounds; ++round) {
      const std::string url =
          "http://127.0.0.1:" + std::to_string(nginx.port(round)) + bench::TNginx::Path;
      row(round + 1, wave(url, users, dir));
    }
  }

  bench::TTargetProcess target(PRESSBOLT_TARGET_PATH);
  std::printf("\npressbolt-target /delay?ms=100, 300 users at once\n\n");
  header();
  for (int round = 0; round < rounds; ++round) {
    row(round + 1,
        wave("http://127.0.0.1:" + std::to_string(target.port()) + "/delay?ms=100", 300, dir));
  }
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  return 0;
}
