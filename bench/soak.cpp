// Soak: one load test of many runs against pressbolt-target in this process (default 100 runs ×
// 1000 users, no wait), with the open descriptors and resident memory sampled after run 10 and
// after the last run. What may grow between the two samples is what the test keeps by design (the
// "Log" view's lines up to their cap, the "Results" lines, the request chart's points);
// everything else must stay flat.
//
// usage: bench_soak [USERS [RUNS]]   (default 1000 100)

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "engine/LoadEngine.h"
#include "net/FdLimit.h"

namespace {

long statuskb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line, prefix = std::string(field) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

int opendescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n - 1;  // the directory stream itself
}

// What the test keeps by design: the log lines in memory (up to the view's cap), the results
// lines and the request chart's points, with the allocator's 16 bytes per string.
size_t keptbytes(const TLogModel& logs, const TChartModel& charts) {
  size_t n = charts.requests().capacity() * sizeof(TChartPoint);
  for (const auto& l : logs.loglines()) n += l.capacity() + 16;
  n += logs.loglines().capacity() * sizeof(std::string);
  for (const auto& l : logs.loglines()) n += l.size() + sizeof(std::string);
  for (const auto& l : logs.resultlines()) n += l.text.capacity() + 16;
  n += logs.resultlines().capacity() * sizeof(TResultLine);
  return n;
}

struct TSample {
  int run = 0, fds = 0;
  long rsskb = 0;
  size_t keptbytes = 0;
};

class TSoakHost : public TEngineHost {
 public:
  TestSettings s;
  bool ended = false, finished = false;
  std::function<void()> onrunend;
  TestSettings settings() override { return s; }
  std::vector<std::string> urllines() override { return {}; }
  void setusersfromfile(bool) override {}
  void errordialog(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void setstatus(const std::string&) override {}
  void setstartenabled(bool on) override {
    if (on && onrunend) onrunend();
  }
  void setresultsvisible(bool) override {}
  void processmessages() override {}
  void setsourcetext(const std::string&) override {}
  void setheaderlines(const std::vector<std::string>&) override {}
  void navigatebrowser(const std::string&, bool) override {}
  void testended(bool f) override {
    ended = true;
    finished = f;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int users = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 100;
  raisefdlimit();
  bench::TTargetProcess target(PRESSBOLT_TARGET_PATH);
  char dir[] = "/tmp/pressbolt-soak-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;

  TSoakHost host;
  host.s.url = "http://127.0.0.1:" + std::to_string(target.port()) + "/size/100";
  host.s.users = users;
  host.s.runs = runs;
  TLogModel logs;
  TChartModel charts;
  TLoadEngine engine(host, logs, charts);
  engine.setoutputdir(dir);

  TSample before, first, last;  // the samples are taken as runs 10 and RUNS end
  // The loop opens its own epoll descriptors at first use, so "before" has a few less.
  before.fds = opendescriptors();
  before.rsskb = statuskb("VmRSS");
  int run = 0;
  host.onrunend = [&] {
    ++run;
    if (run == 10) first = {run, opendescriptors(), statuskb("VmRSS"), keptbytes(logs, charts)};
    if (run == runs) last = {run, opendescriptors(), statuskb("VmRSS"), keptbytes(logs, charts)};
  };
  const long long t0 = bench::monotonicms();
  engine.start();
  while (!host.ended && TEventLoop::Default().RunOnce(true)) {
  }
  const long long wall = bench::monotonicms() - t0;
  TSample after{run, opendescriptors(), statuskb("VmRSS"), keptbytes(logs, charts)};

  std::printf("soak: %d runs x %d users against /size/100, %lld ms, finished %s\n", run, users,
              wall, host.finished ? "yes" : "NO");
  std::printf("  before the test  descriptors %4d   RSS %7.1f MB\n", before.fds,
              before.rsskb / 1024.0);
  for (const TSample* s : {&first, &last}) {
    std::printf("  after run %3d    descriptors %4d   RSS %7.1f MB   kept (log, chart) %6.1f MB\n",
                s->run, s->fds, s->rsskb / 1024.0, s->keptbytes / 1048576.0);
  }
  std::printf("  after the test   descriptors %4d   RSS %7.1f MB (log files written)\n", after.fds,
              after.rsskb / 1024.0);
  const double growth = (last.rsskb - first.rsskb) / 1024.0;
  const double loggrowth = (double(last.keptbytes) - double(first.keptbytes)) / 1048576.0;
  std::printf("  run %d -> %d: RSS %+.1f MB, of which log and chart points kept %+.1f MB; descriptors %+d\n",
              first.run, last.run, growth, loggrowth, last.fds - first.fds);
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  return host.finished && last.fds == first.fds ? 0 : 1;
}
