// The longest stall of the window's event loop during a load test of N users (default 19000)
// against nginx on loopback, in the real window on the offscreen platform. A 1 ms timer notes the
// gaps between its ticks while the test runs; the longest gap is how long an operator would see
// the window frozen. The run's own "Created ... requests in ... ms" line (the start loop, which
// processes no events by design) is printed beside it.
//
// usage: bench_window_stall [N]   (ROUNDS=3 tests in the environment)

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../Nginx.h"
#include "gui/HttpAsy1.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "net/FdLimit.h"

namespace {

// The "Created ..." line of the last run in the detailed log.
std::string createdline(const std::string& dir) {
  std::ifstream in(dir + "/Pressbolt Detailed Results.log");
  std::string line, found;
  while (std::getline(in, line)) {
    size_t at = line.find("Created ");
    if (at != std::string::npos) found = line.substr(at);
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  int users = argc > 1 ? std::atoi(argv[1]) : 19000;
  int rounds = std::getenv("ROUNDS") != nullptr ? std::atoi(std::getenv("ROUNDS")) : 3;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  char dir[] = "/tmp/pressbolt-stall-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  // The window's settings file goes there too, not into the user's configuration.
  qputenv("XDG_CONFIG_HOME", dir);
  int limit = raisefdlimit();
  if (users + 64 > limit) {
    std::printf("window_stall: %d users need more descriptors than the limit of %d\n", users,
                limit);
    return 0;
  }
  if (!bench::inpath("nginx")) {
    std::printf("window_stall: nginx not found (package nginx-light)\n");
    return 0;
  }
  QApplication app(argc, argv);
  bench::TNginx nginx(1);
  if (!nginx.ok()) {
    std::printf("window_stall: %s\n", nginx.error.c_str());
    return 1;
  }
  if (chdir(dir) != 0) return 1;

  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-windowstall"}};
  TWindowHost host{form};
  host.engine().setoutputdir(dir);
  host.dialoghook = [](const std::string& text) { std::printf("dialog: %s\n", text.c_str()); };
  bool ended = false;
  host.onended = [&](bool) { ended = true; };
  form.show();
  form.findChild<QLineEdit*>("URLEdit")->setText(
      QString("http://127.0.0.1:%1%2").arg(nginx.port(0)).arg(bench::TNginx::Path));
  form.findChild<QSpinBox*>("SpinEdit1")->setValue(users);
  form.findChild<QSpinBox*>("SpinEdit2")->setValue(1);

  std::printf("window_stall: %d users, one run per test, %d tests, %s platform\n", users, rounds,
              qPrintable(QGuiApplication::platformName()));
  std::vector<double> worst;
  for (int round = 0; round < rounds; ++round) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      qint64 now = clock.nsecsElapsed();
      longest = std::max(longest, now - last);
      last = now;
    });
    ended = false;
    tick.start();
    last = clock.nsecsElapsed();
    QTimer::singleShot(0, [&] { form.findChild<QPushButton*>("ExecButton")->click(); });
    while (!ended && clock.elapsed() < 300000) {
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    tick.stop();
    if (!ended) {
      std::printf("test %d did not end within 300 s\n", round + 1);
      return 1;
    }
    worst.push_back(longest / 1e6);
    std::printf("test %d: longest stall %.0f ms, whole test %.0f ms; %s\n", round + 1,
                longest / 1e6, clock.nsecsElapsed() / 1e6, createdline(dir).c_str());
    // Let the window settle between tests.
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  std::sort(worst.begin(), worst.end());
  std::printf("median longest stall: %.0f ms\n", worst[worst.size() / 2]);
  if (chdir("/") != 0) return 1;
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
  return 0;
}
