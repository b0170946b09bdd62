// pressbolt-cli: the load test without a window, for scripts and CI. It runs the same engine as
// the window, prints the "Results" view when the test finishes, writes the same log files and,
// on request, JSON, CSV and an HTML report. The exit statuses are listed in TExitStatus and in
// --help.

#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "cli/CliJob.h"
#include "cli/CliMerge.h"
#include "cli/CliOptions.h"
#include "cli/CliReport.h"
#include "cli/CliRun.h"
#include "cli/Demo.h"

namespace {

// At a terminal the password is asked for without echo; from a pipe it is just the first line.
std::string askpassword() {
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return std::string();
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  std::fprintf(stderr, "Password: ");
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::string line;
  std::getline(std::cin, line);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fprintf(stderr, "\n");
  return line + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  TCliOptions options;
  int status = parseoptions(argc, argv, options);
  hidepassword(argc, argv);
  if (status >= 0) return status;
  if (options.demo) return rundemo(options);

  TCliJob job;
  std::string error;
  std::istringstream typed(options.passwordstdin && isatty(STDIN_FILENO) ? askpassword() : "");
  std::istream& passwordsource = isatty(STDIN_FILENO) ? typed : std::cin;
  if (!resolvejob(options, passwordsource, job, error)) {
    std::fprintf(stderr, "pressbolt-cli: %s\n", printable(error).c_str());
    return kExitBadInput;
  }
  // A merge and a report make the directory once their input has been accepted.
  if (job.merge.empty() && !job.reportresult && !job.outputdir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(job.outputdir, ec);
    if (ec) {
      std::fprintf(stderr, "pressbolt-cli: --output-dir: cannot create \"%s\": %s\n",
                   job.outputdir.c_str(), ec.message().c_str());
      return kExitBadInput;
    }
  }
  if (!job.merge.empty()) return runmerge(job);
  if (job.reportresult) return runreport(job);
  return runjob(job).status;
}
