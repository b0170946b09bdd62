// One wave of N simultaneous users against nginx on loopback, raced in turn by pressbolt-cli, ab,
// h2load and a minimal epoll client of ours (the practical limit: it only connects, sends, reads
// and closes), once with the kernel choosing its source ports and once with the engine's port
// windows: A B C D E A B C D E ..., ROUNDS rounds per N. Prints per N the median of the wall time,
// the CPU seconds (user + sys), the requests per CPU-second and the peak RSS per user of each
// program (whole processes, start to exit), with our ratios to each peer.
//
// The ratio of medians compares figures taken minutes apart; on a shared machine whose load drifts,
// the CPU ratio of the runs of one round (seconds apart) is steadier, so its median over the rounds
// is printed too, with its range.
//
// usage: bench_http_wave [N ...]   (default 1000 5000 19000; ROUNDS=5 in the environment;
//        PROGRAMS=pressbolt-cli,minimal races only the programs named, pressbolt-cli always first)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Nginx.h"
#include "net/FdLimit.h"

namespace {

constexpr int kLimitMs = 120000;
// Each run talks to the next of these nginx ports: the connections of ab and h2load leave the
// server's end in TIME_WAIT for a minute, which must not slow down whoever runs next.
constexpr int kPorts = 24;

struct TRun {
  double wallms = 0;
  double cpums = 0;
  long rsskb = 0;
  int ok = 0;
  bool valid = false;
};

struct TTool {
  const char* name;
  std::vector<TRun> runs;
};

// The number that follows label in text, or -1.
double after(const std::string& text, const char* label) {
  size_t at = text.find(label);
  if (at == std::string::npos) return -1;
  return std::atof(text.c_str() + at + std::strlen(label));
}

TRun run(const std::vector<std::string>& args) {
  TRun r;
  timespec a{}, b{};
  clock_gettime(CLOCK_MONOTONIC, &a);
  bench::TRunResult result = bench::runprogram(args, kLimitMs);
  clock_gettime(CLOCK_MONOTONIC, &b);
  r.wallms = (b.tv_sec - a.tv_sec) * 1000.0 + (b.tv_nsec - a.tv_nsec) / 1e6;
  r.cpums = result.CpuMs;
  r.rsskb = result.MaxRssKb;
  r.valid = !result.TimedOut && WIFEXITED(result.Status);
  const std::string& out = result.Output;
  std::string name = args[0].substr(args[0].rfind('/') + 1);
  if (name == "pressbolt-cli") {
    r.ok = static_cast<int>(after(out, "Resulting statuscodes: "));
    r.valid = r.valid && r.ok >= 0;
  } else if (name == "ab") {
    double complete = after(out, "Complete requests:");
    double failed = after(out, "Failed requests:");
    double non2xx = after(out, "Non-2xx responses:");
    r.ok = static_cast<int>(complete - failed - (non2xx > 0 ? non2xx : 0));
    r.valid = r.valid && complete >= 0;
  } else if (name == "h2load") {
    size_t at = out.find("requests: ");
    size_t done = out.find(" done, ", at == std::string::npos ? 0 : at);
    r.ok = done == std::string::npos ? -1 : std::atoi(out.c_str() + done + 7);
    r.valid = r.valid && r.ok >= 0;
  } else {
    r.ok = static_cast<int>(after(out, " ok "));
    r.valid = r.valid && r.ok >= 0;
  }
  if (!r.valid) {
    std::printf("  %s failed%s:\n%s\n", name.c_str(), result.TimedOut ? " (time limit)" : "",
                out.substr(0, 2000).c_str());
  }
  return r;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t m = v.size() / 2;
  return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

struct TSummary {
  double wallms = 0, cpus = 0, perCpuS = 0, rssperuserkb = 0, ok = 0;
  int runs = 0;
};

TSummary summarise(const TTool& t, int n) {
  std::vector<double> wall, cpu, per, rss, ok;
  for (const TRun& r : t.runs) {
    if (!r.valid) continue;
    wall.push_back(r.wallms);
    cpu.push_back(r.cpums / 1000.0);
    per.push_back(r.cpums > 0 ? n / (r.cpums / 1000.0) : 0);
    rss.push_back(static_cast<double>(r.rsskb) / n);
    ok.push_back(r.ok);
  }
  TSummary s;
  s.runs = static_cast<int>(wall.size());
  s.wallms = median(wall);
  s.cpus = median(cpu);
  s.perCpuS = median(per);
  s.rssperuserkb = median(rss);
  s.ok = median(ok);
  return s;
}

double ratio(double a, double b) {
  return b > 0 ? a / b : 0;
}

// pressbolt-cli's CPU over the peer's in each round where both ran: median, least and most.
struct TRoundRatios {
  double median = 0, least = 0, most = 0;
  int rounds = 0;
};

TRoundRatios roundratios(const TTool& ours, const TTool& peer) {
  std::vector<double> r;
  for (size_t i = 0; i < ours.runs.size() && i < peer.runs.size(); ++i) {
    const TRun& a = ours.runs[i];
    const TRun& b = peer.runs[i];
    if (a.valid && b.valid && b.cpums > 0) r.push_back(a.cpums / b.cpums);
  }
  TRoundRatios out;
  out.rounds = static_cast<int>(r.size());
  if (r.empty()) return out;
  out.median = median(r);
  out.least = *std::min_element(r.begin(), r.end());
  out.most = *std::max_element(r.begin(), r.end());
  return out;
}

// The programs to race: all five, or those PROGRAMS names (pressbolt-cli is always raced first,
// since every ratio is its own).
std::vector<TTool> chosentools() {
  std::vector<TTool> all{{"pressbolt-cli", {}},
                         {"ab", {}},
                         {"h2load", {}},
                         {"minimal", {}},
                         {"minimal-portwindow", {}}};
  const char* wanted = std::getenv("PROGRAMS");
  if (wanted == nullptr || *wanted == 0) return all;
  const std::string list = std::string(",") + wanted + ",";
  std::vector<TTool> tools;
  for (const TTool& t : all) {
    if (tools.empty() || list.find(std::string(",") + t.name + ",") != std::string::npos) {
      tools.push_back(t);
    }
  }
  return tools;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 5000, 19000};
  int rounds = std::getenv("ROUNDS") != nullptr ? std::atoi(std::getenv("ROUNDS")) : 5;
  if (rounds < 1) rounds = 1;

  int limit = raisefdlimit();
  std::printf(
      "http_wave: one wave of N users, GET %s (%d bytes) from nginx on loopback, %d rounds,"
      " descriptor limit %d\n",
      bench::TNginx::Path, bench::TNginx::Size, rounds, limit);
  const std::vector<TTool> racers = chosentools();
  for (const char* p : {"nginx", "ab", "h2load"}) {
    bool raced = std::string(p) == "nginx";
    for (const TTool& t : racers) raced = raced || std::string(p) == t.name;
    if (raced && !bench::inpath(p)) {
      std::printf("%s not found (packages nginx-light, apache2-utils, nghttp2-client): no race\n",
                  p);
      return 0;
    }
  }
  bench::TNginx nginx(kPorts);
  if (!nginx.ok()) {
    std::printf("http_wave: %s\n", nginx.error.c_str());
    return 1;
  }
  char dir[] = "/tmp/pressbolt-wave-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;

  int next = 0;
  for (int n : sizes) {
    if (n <= 0 || n + 64 > limit) {
      std::printf("N=%d skipped: needs more descriptors than the limit of %d\n", n, limit);
      continue;
    }
    const std::string N = std::to_string(n);
    std::vector<TTool> tools = racers;
    for (int round = 0; round < rounds; ++round) {
      for (TTool& t : tools) {
        int port = nginx.port(next++);
        std::string url = "http://127.0.0.1:" + std::to_string(port) + bench::TNginx::Path;
        std::vector<std::string> args;
        std::string name = t.name;
        if (name == "pressbolt-cli") {
          args = {PRESSBOLT_CLI_PATH, "--users", N, "--runs", "1", "--output-dir", dir, url};
        } else if (name == "ab") {
          args = {"ab", "-q", "-r", "-n", N, "-c", N, url};
        } else if (name == "h2load") {
          args = {"h2load", "--h1", "-t1", "-n", N, "-c", N, "-H", "Connection: close", url};
        } else if (name == "minimal") {
          args = {MINIMAL_CLIENT_PATH, "127.0.0.1", std::to_string(port), bench::TNginx::Path, N};
        } else {
          args = {MINIMAL_CLIENT_PATH,  "--port-window",     "127.0.0.1",
                  std::to_string(port), bench::TNginx::Path, N};
        }
        t.runs.push_back(run(args));
      }
    }
    std::printf("\nN = %d, median of %d rounds\n\n", n, rounds);
    std::printf("| program | wall ms | CPU s | requests per CPU-s | peak RSS kB/user | ok |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    std::vector<TSummary> s;
    for (const TTool& t : tools) {
      s.push_back(summarise(t, n));
      const TSummary& m = s.back();
      std::printf("| %s | %.0f | %.3f | %.0f | %.2f | %.0f |\n", t.name, m.wallms, m.cpus,
                  m.perCpuS, m.rssperuserkb, m.ok);
    }
    std::printf(
        "\n| pressbolt-cli to | wall | CPU | requests per CPU-s | peak RSS per user |"
        " CPU, round by round: median (range) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (size_t i = 1; i < s.size(); ++i) {
      const TRoundRatios r = roundratios(tools[0], tools[i]);
      std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f (%.2f-%.2f) |\n", tools[i].name,
                  ratio(s[0].wallms, s[i].wallms), ratio(s[0].cpus, s[i].cpus),
                  ratio(s[0].perCpuS, s[i].perCpuS), ratio(s[0].rssperuserkb, s[i].rssperuserkb),
                  r.median, r.least, r.most);
    }
  }
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  return 0;
}
