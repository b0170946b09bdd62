// The window against the command line, as users see them: the real window on the xcb platform
// under Xvfb with openbox (software OpenGL, as on a VM or a remote desktop), "Start Test" pressed
// against nginx on loopback, then `pressbolt-cli` on the same nginx with the same users. Whatever
// the window costs shows as a lower "requests/h" and a longer wait than the command line's.
//
// For each N: requests/h of the window over the command line's, the average wait of each, the
// longest stall of the window's event loop outside the run's start loop (a 1 ms timer notes the
// gaps between its ticks; the start loop processes no events by design), and the share of the
// window process's CPU that threads other than the main thread took from the click to the run's
// last completion, and the paints, layouts and window updates the window did after the start loop
// while the run's requests were out (there should be none). Medians of ROUNDS (default 3) tests
// each, window and command line taking turns. With one user, a line sets the window's median wait
// against the command line's, both with a new user's default settings, and gives the wait of the
// window's first test of the session on its own.
//
// usage: bench_window_parity [N ...]   (default 1 1000 5000 19000)

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../ChildProcess.h"
#include "../Nginx.h"
#include "gui/HttpAsy1.h"
#include "gui/Rendering.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "net/FdLimit.h"
#include "results/Clock.h"

namespace {

// Xvfb on a free display with openbox managing it, stopped with the object.
class TXDisplay {
 public:
  TXDisplay() {
    for (int n = 90; n < 190 && xvfb_ < 0; ++n) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
      name_ = ":" + std::to_string(n);
      xvfb_ = bench::spawn({"Xvfb", name_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                           &xvfbout_);
      long long until = bench::monotonicms() + 10000;
      while (access(socket.c_str(), F_OK) != 0 && alive(xvfb_) && bench::monotonicms() < until) {
        usleep(20000);
      }
      if (access(socket.c_str(), F_OK) != 0) {
        stop(xvfb_, xvfbout_);
        error = "Xvfb did not start on " + name_;
        return;
      }
    }
    if (xvfb_ < 0) {
      error = "no free display number";
      return;
    }
    setenv("DISPLAY", name_.c_str(), 1);
    wm_ = bench::spawn({"openbox"}, &wmout_);
    // openbox takes over the screen within a moment; a window shown before that is managed
    // when it does.
    usleep(500000);
    if (!alive(wm_)) error = "openbox did not start";
  }
  ~TXDisplay() {
    stop(wm_, wmout_);
    stop(xvfb_, xvfbout_);
  }
  TXDisplay(const TXDisplay&) = delete;
  TXDisplay& operator=(const TXDisplay&) = delete;

  const std::string& name() const { return name_; }
  std::string error;

 private:
  static bool alive(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
  }
  static void stop(pid_t& pid, int& out) {
    if (pid > 0) {
      kill(pid, SIGTERM);
      int status = 0;
      long long until = bench::monotonicms() + 5000;
      while (waitpid(pid, &status, WNOHANG) == 0) {
        if (bench::monotonicms() >= until) {
          kill(pid, SIGKILL);
          waitpid(pid, &status, 0);
          break;
        }
        usleep(10000);
      }
    }
    pid = -1;
    if (out >= 0) close(out);
    out = -1;
  }

  std::string name_;
  pid_t xvfb_ = -1, wm_ = -1;
  int xvfbout_ = -1, wmout_ = -1;
};

// CPU time of each thread of this process so far, in nanoseconds, by thread id.
std::map<long, double> threadcpu() {
  std::map<long, double> cpu;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return cpu;
  while (dirent* e = readdir(tasks)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/schedstat");
    double ns = 0;
    if (in >> ns) cpu[std::atol(e->d_name)] = ns;
  }
  closedir(tasks);
  return cpu;
}

// Counts the paints, layouts and window updates between a run's start loop and its last
// completion.
class TPaintCount : public QObject {
 public:
  explicit TPaintCount(TWindowHost& host) : host_(host) { qApp->installEventFilter(this); }
  ~TPaintCount() override { qApp->removeEventFilter(this); }
  long seen = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (!host_.holding()) {
      held_ = false;
      return false;
    }
    const long double loopend = host_.engine().laststartloop().end;
    if (!held_) {
      held_ = true;
      before_ = loopend;
    }
    const QEvent::Type t = event->type();
    if (loopend != before_ &&
        (t == QEvent::Paint || t == QEvent::LayoutRequest || t == QEvent::UpdateRequest)) {
      ++seen;
    }
    return false;
  }

 private:
  TWindowHost& host_;
  bool held_ = false;
  long double before_ = 0;
};

// The window's host, noting each run's overall time as the engine reports it.
class TParityHost : public TWindowHost {
 public:
  using TWindowHost::TWindowHost;
  void runcompleted(int, int users, long double overallms, bool) override {
    this->users = users;
    this->overallms = overallms;
    // The threads' CPU up to the run's last completion: what the window's own work could take
    // from the server and the measurement. The finish that follows (files, views) is after it.
    cpuatrunend = threadcpu();
  }
  int users = 0;
  long double overallms = 0;
  std::map<long, double> cpuatrunend;
};

struct TFigures {
  double requestsperhour = 0;
  double avgwaitms = 0;
  double stallms = 0;         // window only
  double othercpu = 0;        // window only: share of the process's CPU
  double wholetestms = 0;     // window only
  double startloopms = 0;     // window only
  quint64 passes = 0;         // window only: passes of the network loop during the test
  long paints = 0;            // window only: paints, layouts, updates while requests were out
  std::string busiestthread;  // window only: the other thread that took the most CPU
  long ok = 0;
};

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

class TParity {
 public:
  TParity(THttpAsyForm& form, TParityHost& host, const TUvQtBridge& bridge, const std::string& dir)
      : form_(form), host_(host), bridge_(bridge), dir_(dir) {
    host_.onended = [this](bool) { ended_ = true; };
  }

  TFigures window(int users, int port) {
    TFigures f;
    form_.findChild<QLineEdit*>("URLEdit")->setText(
        QString("http://127.0.0.1:%1%2").arg(port).arg(bench::TNginx::Path));
    form_.findChild<QSpinBox*>("SpinEdit1")->setValue(users);
    form_.findChild<QSpinBox*>("SpinEdit2")->setValue(1);
    QElapsedTimer clock;
    clock.start();
    // Gaps between the ticks of a 1 ms timer: how long the window could not answer.
    std::vector<std::pair<double, double>> gaps;
    double last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      double now = clock.nsecsElapsed() / 1e6;
      if (now - last > 2) gaps.emplace_back(last, now);
      last = now;
    });
    ended_ = false;
    TPaintCount paints(host_);
    host_.users = 0;
    host_.cpuatrunend.clear();
    const std::map<long, double> before = threadcpu();
    const quint64 passes = bridge_.passes();
    tick.start();
    last = clock.nsecsElapsed() / 1e6;
    QTimer::singleShot(0, [this] { form_.findChild<QPushButton*>("ExecButton")->click(); });
    while (!ended_ && clock.elapsed() < 600000) {
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const std::map<long, double> after =
        host_.cpuatrunend.empty() ? threadcpu() : host_.cpuatrunend;
    f.passes = bridge_.passes() - passes;
    f.paints = paints.seen;
    f.wholetestms = clock.nsecsElapsed() / 1e6;
    // The views catch up after the run, the chart repaints and the first-response view loads its
    // page: a stall there is one the user sees too, so the ticks go on meanwhile.
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 50);
    tick.stop();
    // The test clock and this one, read together: the start loop in this clock's terms.
    const double offset = clock.nsecsElapsed() / 1e6 - static_cast<double>(elapsedms());
    const TLoadEngine::TStartLoop loop = host_.engine().laststartloop();
    const double b = static_cast<double>(loop.begin) + offset;
    const double e = static_cast<double>(loop.end) + offset;
    for (const auto& [from, to] : gaps) {
      double overlap = std::max(0.0, std::min(to, e) - std::max(from, b));
      f.stallms = std::max(f.stallms, to - from - overlap);
    }
    double main = 0, all = 0, busiest = 0;
    for (const auto& [tid, ns] : after) {
      auto was = before.find(tid);
      double used = ns - (was != before.end() ? was->second : 0);
      if (tid != getpid() && used > busiest) {
        busiest = used;
        std::ifstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
        std::getline(comm, f.busiestthread);
      }
      all += used;
      if (tid == getpid()) main = used;
    }
    f.othercpu = all > 0 ? (all - main) / all : 0;
    const TLoadEngine& engine = host_.engine();
    if (host_.users > 0 && host_.overallms > 0) {
      f.requestsperhour = host_.users / static_cast<double>(host_.overallms) * 3600000.0;
    }
    if (engine.sofar.requestscounted > 0) {
      f.avgwaitms = static_cast<double>(engine.sofar.waitsum / engine.sofar.requestscounted);
    }
    f.ok = engine.tally.statuscounts(1);
    f.startloopms = e - b;
    return f;
  }

  TFigures cli(int users, int port) {
    TFigures f;
    const std::string json = dir_ + "/cli.json";
    std::remove(json.c_str());
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + bench::TNginx::Path;
    bench::TRunResult r =
        bench::runprogram({PRESSBOLT_CLI_PATH, "-q", "--users", std::to_string(users), "--runs",
                           "1", "--output-dir", dir_ + "/cli", "--json", json, url},
                          600000);
    std::ifstream in(json);
    nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
    if (r.Status != 0 || doc.is_discarded() || doc["runs"].empty()) {
      std::printf("pressbolt-cli failed (status %d): %s\n", r.Status, r.Output.c_str());
      return f;
    }
    // The start loop as the log's "Created N requests in D ms" line gives it.
    std::ifstream log(dir_ + "/cli/Pressbolt Detailed Results.log");
    for (std::string line; std::getline(log, line);) {
      size_t at = line.find("requests in ");
      if (line.find("Created ") != std::string::npos && at != std::string::npos) {
        f.startloopms = std::atof(line.c_str() + at + 12);
      }
    }
    const nlohmann::json& run = doc["runs"][0];
    f.requestsperhour = run.value("requests_per_hour", 0.0);
    f.avgwaitms = run.value("avg_wait_ms", 0.0);
    f.ok = run["status_codes"].value("200", 0L);
    return f;
  }

 private:
  THttpAsyForm& form_;
  TParityHost& host_;
  const TUvQtBridge& bridge_;
  std::string dir_;
  bool ended_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1, 1000, 5000, 19000};
  const int rounds = std::getenv("ROUNDS") != nullptr ? std::atoi(std::getenv("ROUNDS")) : 3;
  for (const char* program : {"Xvfb", "openbox", "nginx"}) {
    if (!bench::inpath(program)) {
      std::printf("window_parity: skipped: %s not found (packages xvfb, openbox, nginx-light)\n",
                  program);
      return 0;
    }
  }
  const int limit = raisefdlimit();
  reservefdtable(kFdTableReserve);
  TXDisplay display;
  if (!display.error.empty()) {
    std::printf("window_parity: %s\n", display.error.c_str());
    return 1;
  }
  char dir[] = "/tmp/pressbolt-parity-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  mkdir((std::string(dir) + "/cli").c_str(), 0755);
  // The window's settings file goes there too, not into the user's configuration.
  qputenv("XDG_CONFIG_HOME", dir);
  qputenv("QT_QPA_PLATFORM", "xcb");
  bench::TNginx nginx(4);
  if (!nginx.ok()) {
    std::printf("window_parity: %s\n", nginx.error.c_str());
    return 1;
  }
  if (chdir(dir) != 0) return 1;

  // The window as the program builds it (gui/main.cpp).
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  const TRenderingChoice rendering = choosewindowrendering();
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-parity"}};
  TParityHost host{form};
  host.engine().setoutputdir(dir);
  host.dialoghook = [](const std::string& text) { std::printf("dialog: %s\n", text.c_str()); };
  form.show();
  QElapsedTimer settle;
  settle.start();
  while ((form.windowHandle() == nullptr || !form.windowHandle()->isExposed()) &&
         settle.elapsed() < 10000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  while (settle.elapsed() < 2000) QApplication::processEvents(QEventLoop::AllEvents, 50);

  std::printf("window_parity: Xvfb %s with openbox, xcb platform, %s; nginx, %d rounds\n",
              display.name().c_str(), rendering.reason.c_str(), rounds);
  TParity parity(form, host, bridge, dir);
  std::vector<std::string> table;
  std::string oneuser;
  double firstwindowwait = -1;  // the window's first test of the session, when of one user
  bool firstwindow = true;
  int port = 0;
  for (int users : sizes) {
    if (users + 64 > limit) {
      std::printf("N = %d: needs more descriptors than the limit of %d, skipped\n", users, limit);
      continue;
    }
    std::vector<TFigures> w, c;
    for (int round = 0; round < rounds; ++round) {
      // Who goes first alternates, so neither always meets a freshly idle server.
      for (int turn = 0; turn < 2; ++turn) {
        const bool windowturn = (turn == 0) == (round % 2 == 0);
        const int p = nginx.port(port++);
        TFigures f = windowturn ? parity.window(users, p) : parity.cli(users, p);
        (windowturn ? w : c).push_back(f);
        if (windowturn && firstwindow) {
          firstwindow = false;
          if (users == 1) firstwindowwait = f.avgwaitms;
        }
        std::printf("N = %d, round %d, %s: %.0f requests/h, avg wait %.3f ms, ok %ld", users,
                    round + 1, windowturn ? "window" : "cli", f.requestsperhour, f.avgwaitms, f.ok);
        if (!windowturn) std::printf(", start loop %.1f ms", f.startloopms);
        if (windowturn) {
          std::printf(
              ", stall %.0f ms, other threads %.1f %%, whole test %.0f ms, start loop %.1f ms, "
              "%llu network passes, %ld paints while requests were out, busiest other thread "
              "\"%s\"",
              f.stallms, f.othercpu * 100, f.wholetestms, f.startloopms,
              static_cast<unsigned long long>(f.passes), f.paints, f.busiestthread.c_str());
        }
        std::printf("\n");
      }
    }
    auto pick = [](const std::vector<TFigures>& v, double TFigures::*field) {
      std::vector<double> values;
      for (const auto& f : v) values.push_back(f.*field);
      return median(values);
    };
    const double wr = pick(w, &TFigures::requestsperhour), cr = pick(c, &TFigures::requestsperhour);
    char line[512];
    std::snprintf(line, sizeof line, "| %d | %.0f | %.0f | %.2f | %.3f | %.3f | %.0f | %.1f %% |",
                  users, wr, cr, cr > 0 ? wr / cr : 0, pick(w, &TFigures::avgwaitms),
                  pick(c, &TFigures::avgwaitms), pick(w, &TFigures::stallms),
                  pick(w, &TFigures::othercpu) * 100);
    table.push_back(line);
    if (users == 1 && !w.empty()) {
      // The one-user figures; the first test of the session on its own, as a new user meets it.
      const double ww = pick(w, &TFigures::avgwaitms), cw = pick(c, &TFigures::avgwaitms);
      std::snprintf(line, sizeof line,
                    "one user, default settings: window median wait %.3f ms, command line %.3f "
                    "ms, difference %.3f ms (%d tests each)",
                    ww, cw, ww - cw, static_cast<int>(w.size()));
      oneuser = line;
      if (firstwindowwait >= 0) {
        std::snprintf(line, sizeof line, "; the window's first test of the session waited %.3f ms",
                      firstwindowwait);
        oneuser += line;
      }
    }
  }
  std::printf(
      "\n| users | window requests/h | cli requests/h | window/cli | window avg wait ms "
      "| cli avg wait ms | longest stall outside the start loop ms | other threads' "
      "CPU |\n|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const auto& l : table) std::printf("%s\n", l.c_str());
  if (!oneuser.empty()) std::printf("\n%s\n", oneuser.c_str());
  if (chdir("/") != 0) return 1;
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  return 0;
}
