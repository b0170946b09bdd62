// pressbolt-cli: the load test without a window, for scripts and CI. It runs the same engine as
// the window, prints the "Results" view when the test finishes, writes the same log files and,
// on request, JSON, CSV and an HTML report. The exit statuses are listed in TExitStatus and in
// --help.

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/CliJob.h"
#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "cli/Demo.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  TCliOptions options;
  int status = parseoptions(argc, argv, options);
  hidepassword(argc, argv);
  if (status >= 0) return status;
  if (options.demo) return rundemo(options);

  TCliJob job;
  std::string error;
  if (!resolvejob(options, std::cin, job, error)) {
    std::fprintf(stderr, "pressbolt-cli: %s\n", error.c_str());
    return kExitBadInput;
  }
  if (!job.outputdir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(job.outputdir, ec);
    if (ec) {
      std::fprintf(stderr, "pressbolt-cli: --output-dir: cannot create \"%s\": %s\n",
                   job.outputdir.c_str(), ec.message().c_str());
      return kExitBadInput;
    }
  }
  return runjob(job).status;
}
