#include "cli/CliHost.h"

#include <cstdio>

void TCliHost::errordialog(const std::string& text) {
  // The dialog's text is framed by empty lines for a window; one line is what a terminal wants.
  size_t b = text.find_first_not_of("\r\n");
  size_t e = text.find_last_not_of("\r\n");
  std::string line = b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
  std::fprintf(stderr, "pressbolt-cli: %s\n", line.c_str());
  ++errors_;
}

void TCliHost::warning(const std::string& text) {
  std::fprintf(stderr, "pressbolt-cli: %s\n", text.c_str());
}

void TCliHost::runcompleted(int runindex, int users, long double overallms, bool aborted) {
  records_.endrun(runindex, users, overallms, aborted);
  if (reportruns_ && !aborted) {
    std::fprintf(stderr, "pressbolt-cli: run %d of %d done\n", runindex + 1, settings_.runs);
    std::fflush(stderr);
  }
}

void TCliHost::testended(bool finished) {
  ended_ = true;
  finished_ = finished;
  loop_.Stop();
}
