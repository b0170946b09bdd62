#include "cli/Demo.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "cli/CliJob.h"
#include "cli/CliRun.h"
#include "results/LogFile.h"

extern char** environ;

namespace {

// pressbolt-target as a child on an ephemeral loopback port, stopped when this goes away.
class TDemoTarget {
 public:
  // Empty error: started, port() is set.
  explicit TDemoTarget(const std::string& path, std::string& error) {
    int out[2];
    if (pipe(out) != 0) {
      error = "cannot start pressbolt-target";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // The server ends with this process, however this one ends.
    const std::string self = std::to_string(getpid());
    const char* argv[] = {path.c_str(), "--port", "0", "--parent", self.c_str(), nullptr};
    int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      pid_ = -1;
      close(out[0]);
      error = "cannot start \"" + path + "\"";
      return;
    }
    std::string line = firstline(out[0]);
    close(out[0]);
    size_t colon = line.rfind(':');
    if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
      error = "pressbolt-target did not start listening";
      return;
    }
    port_ = std::atoi(line.c_str() + colon + 1);
  }
  ~TDemoTarget() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  TDemoTarget(const TDemoTarget&) = delete;
  TDemoTarget& operator=(const TDemoTarget&) = delete;
  int port() const { return port_; }

 private:
  // The child's first line of output, waiting up to 10 s for it.
  static std::string firstline(int fd) {
    std::string line;
    char c;
    while (line.size() < 200) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0 || read(fd, &c, 1) != 1 || c == '\n') break;
      line += c;
    }
    return line;
  }

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace

int rundemo(TCliOptions options) {
  if (!options.url.empty() || options.urlsfile || options.settingsfile) {
    std::fprintf(stderr,
                 "pressbolt-cli: --demo: runs its own test; give no URL, --urls or "
                 "--settings\n");
    return kExitBadInput;
  }
  const std::string target = programdir() + "pressbolt-target";
  if (access(target.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "pressbolt-cli: --demo: cannot find \"%s\"\n", target.c_str());
    return kExitNotStarted;
  }
  std::string dir = options.outputdir ? *options.outputdir : outputdir();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  options.outputdir = dir;
  for (const auto& [option, value] :
       {std::pair{"--users", "40"}, {"--runs", "3"}, {"--wait", "1"}}) {
    if (!options.numbers[option]) options.numbers[option] = value;
  }
  if (!options.flags["--ramp"]) options.flags["--ramp"] = true;
  if (!options.outputs["--html"]) options.outputs["--html"] = dir + "Pressbolt Demo Report.html";

  std::string error;
  TDemoTarget server(target, error);
  if (!error.empty()) {
    std::fprintf(stderr, "pressbolt-cli: --demo: %s\n", error.c_str());
    return kExitNotStarted;
  }
  options.url = "http://127.0.0.1:" + std::to_string(server.port()) + "/size/20000";
  std::printf(
      "Demo: pressbolt-target serves %s; a ramp test of %s runs up to %s users follows.\n\n",
      options.url.c_str(), options.numbers["--runs"]->c_str(), options.numbers["--users"]->c_str());
  std::fflush(stdout);

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  TCliJob job;
  if (!resolvejob(options, std::cin, job, error)) {
    std::fprintf(stderr, "pressbolt-cli: %s\n", error.c_str());
    return kExitBadInput;
  }
  TCliOutcome outcome = runjob(job);
  if (outcome.status != kExitNotStarted) {
    std::printf(
        "\nThe files of this test are in %s:\n  %s\n  %s\n  temp.htm (the first response)\n",
        outcome.resultdir.c_str(), resultsfilename, detailedfilename);
    const std::string html = job.output("--html"), json = job.output("--json"),
                      csv = job.output("--requests-csv");
    if (!html.empty()) std::printf("HTML report: %s\n", html.c_str());
    if (!json.empty() && json != "-") std::printf("JSON: %s\n", json.c_str());
    if (!csv.empty() && csv != "-") std::printf("CSV: %s\n", csv.c_str());
    std::fflush(stdout);
  }
  return outcome.status;
}
