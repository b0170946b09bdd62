// pressbolt-cli: the load test without a window, for scripts and CI. It runs the same engine as
// the window, prints the "Results" view when the test finishes and writes the same log files.
// Exit status: 0 when the test ran to its end (whatever the server answered), 1 when it could not
// start or was stopped between runs, 2 for bad options.

#include <uv.h>
#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "cli/CliHost.h"
#include "engine/LoadEngine.h"
#include "net/FdLimit.h"

namespace {

bool readlines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

// HOST:PORT, the port after the last colon; without one the proxy port is 80.
void splitproxy(const std::string& value, TestSettings& s) {
  size_t colon = value.rfind(':');
  if (colon == std::string::npos) {
    s.proxy = value;
    s.proxyport = "80";
  } else {
    s.proxy = value.substr(0, colon);
    s.proxyport = value.substr(colon + 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  CLI::App app{
      "Pressbolt load test without a window: every run starts one HTTP/1.0 request per "
      "user, all together, and reports what the server did."};
  TestSettings s;
  std::string url, urlsfile, proxy, user, outputdir;
  std::optional<int64_t> keyoffset;
  std::optional<std::string> agent, post;
  app.add_option("url", url, "The URL to test (not with --urls)");
  app.add_option("--users", s.users, "Simultaneous users per run (1-20000)")
      ->check(CLI::Range(kMinUsers, kMaxUsers));
  app.add_option("--runs", s.runs, "Number of runs (1-65536)")
      ->check(CLI::Range(kMinRuns, kMaxRuns));
  app.add_option("--wait", s.waitperrun, "Seconds between runs (0-10000)")
      ->check(CLI::Range(kMinWait, kMaxWait));
  app.add_flag("--ramp", s.ramptest, "Ramp test: the users grow from run to run");
  app.add_option("--urls", urlsfile, "File of URLs, one per line, taken in turn by the users");
  app.add_option("--agent", agent, "User-Agent text");
  app.add_option("--proxy", proxy, "Proxy as HOST:PORT");
  app.add_option("--user", user, "Credentials as NAME:PASSWORD");
  app.add_flag("--users-file", s.usersfromfile, "Take user/password pairs from users.txt");
  app.add_option("--post", post, "Send POST requests with this body");
  app.add_option("--key-offset", keyoffset, "Replace @@ in the URL by offset + user number");
  app.add_flag("--preserve-cookies", s.preservecookies, "Record run 1's cookies in cookies.txt");
  app.add_flag("--write-headers", s.writeheaders, "Log every received header line");
  app.add_flag("--write-data", s.writedata, "Log every received document chunk");
  app.add_flag("--on-error-only", s.onerroronly, "Log headers and data only of non-200 answers");
  app.add_option("--output-dir", outputdir, "Directory for the log files and temp.htm");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }

  std::vector<std::string> urls;
  if (!urlsfile.empty()) {
    if (!url.empty()) {
      std::fprintf(stderr, "pressbolt-cli: give either a URL or --urls FILE, not both\n");
      return 2;
    }
    if (!readlines(urlsfile, urls)) {
      std::fprintf(stderr, "pressbolt-cli: cannot read the URL list \"%s\"\n", urlsfile.c_str());
      return 2;
    }
    s.multipleurls = true;
  } else if (url.empty()) {
    std::fprintf(stderr, "pressbolt-cli: no URL to test (see --help)\n");
    return 2;
  }
  s.url = url;
  if (!proxy.empty()) {
    s.useproxy = true;
    splitproxy(proxy, s);
  }
  if (!user.empty()) {
    size_t colon = user.find(':');
    s.username = user.substr(0, colon);
    s.password = colon == std::string::npos ? std::string() : user.substr(colon + 1);
  }
  s.useuser = !user.empty() || s.usersfromfile;
  if (agent) {
    s.useagent = true;
    s.agent = *agent;
  }
  if (post) {
    s.usepost = true;
    s.postdata = *post;
  }
  if (keyoffset) {
    s.usekey = true;
    s.keyoffset = *keyoffset;
  }

  raisefdlimit();
  TEventLoop& loop = TEventLoop::Default();
  TCliHost host(loop, s, urls);
  TLogModel logs;
  TChartModel charts;
  TLoadEngine engine(host, logs, charts, loop);
  if (!outputdir.empty()) engine.setoutputdir(outputdir);

  // Ctrl-C aborts the test the way the Abort button does; the outstanding requests still complete
  // and the log files are written.
  uv_signal_t sigint;
  uv_signal_init(loop.uv(), &sigint);
  sigint.data = &engine;
  uv_signal_start(
      &sigint, [](uv_signal_t* h, int) { static_cast<TLoadEngine*>(h->data)->AbortButtonClick(); },
      SIGINT);
  uv_unref(reinterpret_cast<uv_handle_t*>(&sigint));

  engine.ExecButtonClick();
  if (host.errors() == 0 || engine.phase() != TLoadEngine::TPhase::idle) {
    while (!host.ended() && loop.RunOnce(true)) {
    }
  }
  uv_close(reinterpret_cast<uv_handle_t*>(&sigint), nullptr);

  if (host.finished()) {
    for (const auto& line : logs.resultlines()) std::cout << line.text << "\n";
    std::cout.flush();
    return 0;
  }
  return 1;
}
