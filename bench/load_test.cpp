// A headless load test of 5000 users in 3 runs (pressbolt-cli against pressbolt-target), then the
// same three waves from ab, in one run of this program: wall time per run, CPU seconds per request
// and peak memory per simultaneous user, with the ratios ours/ab.
//
// usage: bench_load_test [USERS [RUNS]]   (default 5000 3)

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace {

const char kPath[] = "/size/100";
constexpr int kLimitMs = 600000;

struct TMeasure {
  double wallperrunms = 0;
  double cpuperrequestus = 0;
  double rssperuserkb = 0;
  bool valid = false;
};

void print(const char* who, const TMeasure& m) {
  std::printf("%-5s wall per run %8.1f ms   CPU %7.1f us/request   peak RSS %6.2f kB/user\n", who,
              m.wallperrunms, m.cpuperrequestus, m.rssperuserkb);
}

// The "  Overall Time: N msec" lines of the detailed log, one per run.
std::vector<double> overalltimes(const std::string& log) {
  std::vector<double> times;
  const std::string label = "  Overall Time: ";
  for (size_t at = log.find(label); at != std::string::npos; at = log.find(label, at + 1)) {
    times.push_back(std::atof(log.c_str() + at + label.size()));
  }
  return times;
}

TMeasure ours(const std::string& url, int users, int runs) {
  char dir[] = "/tmp/pressbolt-bench-XXXXXX";
  TMeasure m;
  if (mkdtemp(dir) == nullptr) return m;
  bench::TRunResult r =
      bench::runprogram({PRESSBOLT_CLI_PATH, "--users", std::to_string(users), "--runs",
                         std::to_string(runs), "--output-dir", dir, url},
                        kLimitMs);
  std::ifstream in(std::string(dir) + "/Pressbolt Detailed Results.log");
  std::stringstream log;
  log << in.rdbuf();
  std::vector<double> times = overalltimes(log.str());
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  if (r.TimedOut || times.size() != static_cast<size_t>(runs)) {
    std::printf("pressbolt-cli failed (status %d):\n%s\n", r.Status, r.Output.c_str());
    return m;
  }
  double sum = 0;
  for (double t : times) sum += t;
  m.wallperrunms = sum / runs;
  m.cpuperrequestus = r.CpuMs * 1000.0 / (static_cast<double>(users) * runs);
  m.rssperuserkb = static_cast<double>(r.MaxRssKb) / users;
  m.valid = true;
  return m;
}

TMeasure ab(const std::string& url, int users, int runs) {
  TMeasure m;
  double wall = 0, cpu = 0;
  long rss = 0;
  for (int i = 0; i < runs; ++i) {
    bench::TRunResult r = bench::runprogram(
        {"ab", "-q", "-r", "-n", std::to_string(users), "-c", std::to_string(users), url},
        kLimitMs);
    size_t at = r.Output.find("Time taken for tests:");
    if (r.TimedOut || at == std::string::npos) {
      std::printf("ab failed:\n%s\n", r.Output.c_str());
      return m;
    }
    wall += std::atof(r.Output.c_str() + at + 21) * 1000.0;
    cpu += r.CpuMs;
    rss = std::max(rss, r.MaxRssKb);
  }
  m.wallperrunms = wall / runs;
  m.cpuperrequestus = cpu * 1000.0 / (static_cast<double>(users) * runs);
  m.rssperuserkb = static_cast<double>(rss) / users;
  m.valid = true;
  return m;
}

bool haveab() {
  return std::system("command -v ab >/dev/null 2>&1") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int users = argc > 1 ? std::atoi(argv[1]) : 5000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  try {
    bench::TTargetProcess target(PRESSBOLT_TARGET_PATH);
    std::string url = "http://127.0.0.1:" + std::to_string(target.port()) + kPath;
    std::printf("load_test: %d users, %d runs, GET %s\n", users, runs, kPath);
    TMeasure mine = ours(url, users, runs);
    if (!mine.valid) return 1;
    print("ours", mine);
    if (!haveab()) {
      std::printf("ab not found (package apache2-utils): no comparison\n");
      return 0;
    }
    TMeasure theirs = ab(url, users, runs);
    if (!theirs.valid) return 0;
    print("ab", theirs);
    std::printf("ours/ab: wall per run %.2f   CPU per request %.2f   memory per user %.2f\n",
                mine.wallperrunms / theirs.wallperrunms,
                mine.cpuperrequestus / theirs.cpuperrequestus,
                mine.rssperuserkb / theirs.rssperuserkb);
  } catch (const std::exception& e) {
    std::printf("load_test: %s\n", e.what());
    return 1;
  }
  return 0;
}
