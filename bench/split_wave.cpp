// One wave of 18000 simultaneous requests against nginx on this machine, fired once by one
// pressbolt-cli process and once split into four segments of 4500 users that start at one
// instant and are merged: the wave's overall time both ways, and how far apart the segments
// actually started. (nginx's own descriptor limit of 20000 caps the wave here.)
//
// usage: bench_split_wave [USERS [SEGMENTS]]   (default 18000 4)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "segments/StartTime.h"

namespace {

constexpr int kLimitMs = 600000;

using TJson = nlohmann::json;

struct TWave {
  double overallms = 0;      // the run's start to its last completion
  double startspreadms = 0;  // between the segments' run starts (0 for one process)
  long completed = 0, errors = 0;
  bool valid = false;
};

TJson readjson(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return TJson::parse(text.str(), nullptr, false);
}

TWave fromjson(const TJson& doc) {
  TWave w;
  if (doc.is_discarded() || doc["runs"].empty()) return w;
  const TJson& run = doc["runs"][0];
  w.overallms = run["overall_ms"].get<double>();
  w.completed = run["completed"].get<long>();
  w.errors = run["errors"].get<long>();
  if (run.contains("segment_start_spread_ms")) {
    w.startspreadms = run["segment_start_spread_ms"].get<double>();
  }
  w.valid = true;
  return w;
}

TWave oneprocess(const std::string& dir, const std::string& url, int users) {
  const std::string json = dir + "/one.json";
  bench::TRunResult r = bench::runprogram({PRESSBOLT_CLI_PATH, "--users", std::to_string(users),
                                           "--output-dir", dir + "/one", "-q", "--json", json, url},
                                          kLimitMs);
  TWave w = fromjson(readjson(json));
  if (r.TimedOut || r.Status != 0 || !w.valid) {
    std::printf("one process failed (status %d):\n%s\n", r.Status, r.Output.c_str());
    w.valid = false;
  }
  return w;
}

TWave segments(const std::string& dir, const std::string& url, int users, int k) {
  TWave w;
  // Far enough ahead for every process to be up and waiting.
  const int64_t startat = epochmsnow() + 3000;
  std::vector<std::pair<pid_t, int>> children;
  std::vector<std::string> files;
  for (int i = 1; i <= k; ++i) {
    files.push_back(dir + "/seg" + std::to_string(i) + ".json");
    int fd = -1;
    pid_t pid = bench::spawn(
        {PRESSBOLT_CLI_PATH, "--segment", std::to_string(i) + "/" + std::to_string(k), "--users",
         std::to_string(users), "--start-at", std::to_string(startat), "--output-dir",
         dir + "/seg" + std::to_string(i), "-q", "--json", files.back(), url},
        &fd);
    children.emplace_back(pid, fd);
  }
  bool ok = true;
  for (auto [pid, fd] : children) {
    std::string output;
    bool done = bench::readuntil(fd, output, bench::monotonicms() + kLimitMs,
                                 [](const std::string&) { return false; });
    close(fd);
    if (!done) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!done || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::printf("a segment failed:\n%s\n", output.c_str());
      ok = false;
    }
  }
  if (!ok) return w;
  std::vector<std::string> merge = {PRESSBOLT_CLI_PATH, "--merge"};
  merge.insert(merge.end(), files.begin(), files.end());
  merge.insert(merge.end(), {"-q", "--json", dir + "/merged.json"});
  bench::TRunResult r = bench::runprogram(merge, kLimitMs);
  w = fromjson(readjson(dir + "/merged.json"));
  if (r.Status != 0 || !w.valid) {
    std::printf("merge failed (status %d):\n%s\n", r.Status, r.Output.c_str());
    w.valid = false;
  }
  return w;
}

void print(const char* who, const TWave& w) {
  std::printf("%-22s overall %8.1f ms   completed %6ld   errors %5ld", who, w.overallms,
              w.completed, w.errors);
  if (w.startspreadms > 0) std::printf("   run starts %.1f ms apart", w.startspreadms);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const int users = argc > 1 ? std::atoi(argv[1]) : 18000;
  const int k = argc > 2 ? std::atoi(argv[2]) : 4;
  if (!bench::inpath("nginx")) {
    std::printf("split_wave: nginx not found (package nginx-light): skipped\n");
    return 0;
  }
  bench::TNginx nginx(1);
  if (!nginx.ok()) {
    std::printf("split_wave: %s\n", nginx.error.c_str());
    return 1;
  }
  char dir[] = "/tmp/pressbolt-split-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.port(0)) + bench::TNginx::Path;
  std::printf("split_wave: one wave of %d requests, GET %s from nginx\n", users,
              bench::TNginx::Path);
  TWave one = oneprocess(dir, url, users);
  TWave split = segments(dir, url, users, k);
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  if (!one.valid || !split.valid) return 1;
  print("one process", one);
  const std::string label = std::to_string(k) + " segments, merged";
  print(label.c_str(), split);
  std::printf("segments/one process: overall %.2f\n", split.overallms / one.overallms);
  return 0;
}
