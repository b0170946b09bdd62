#pragma once
// TCliJob: what a command line asks for, checked. resolvejob() turns the options (and the
// settings file they may name) into the engine's settings and the output plan, or into one line
// that names the option and the problem. It reads files and standard input but writes nothing,
// so a refused command line has touched nothing.

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "engine/TestSettings.h"

struct TStoredResult;

struct TCliJob {
  TestSettings settings;
  std::vector<std::string> urls;  // the multiple-URL list, when the test takes its URLs from it
  std::string outputdir;          // empty: the engine's default location
  // The outputs of cli/OutputTable that were given, by option ("--json"): the file, "-" for
  // stdout.
  std::map<std::string, std::string> outputs;
  bool stdoutoutput =
      false;  // one of them writes to stdout ("-", /dev/stdout): text goes to stderr
  std::optional<double> timeout;  // seconds
  std::optional<double> maxerrorrate, maxavgwait, maxp99wait, maxp99server;
  bool quiet = false;
  // This process fires segment `segment` of `segments` (1 of 1: the whole test), run 1 at the
  // wall-clock instant startat (epoch ms) when given.
  int segment = 1, segments = 1;
  std::optional<int64_t> startat;
  std::optional<double> runinterval;  // seconds between the shared run instants
  // Result files to merge instead of running a test (directories already expanded), and whether
  // missing segments make a partial result rather than a refusal.
  std::vector<std::string> merge;
  bool allowpartial = false;
  // --baseline, read and checked; --max-regression in percent; --report's result, read.
  std::string baseline, report;
  std::shared_ptr<const TStoredResult> baselineresult, reportresult;
  std::optional<double> maxregression;

  // The file of an output, empty when it is not wanted.
  std::string output(const std::string& option) const {
    const auto o = outputs.find(option);
    return o == outputs.end() ? std::string() : o->second;
  }
};

// Checks o and fills job. The password of --password-stdin is read from passwordsource. Returns
// false with error set to a single line such as "--users: \"0x10\" is not a decimal number".
bool resolvejob(const TCliOptions& o, std::istream& passwordsource, TCliJob& job,
                std::string& error);

// text with its control characters escaped (\r, \n, \t, \x1B ...): a message must not move the
// terminal's cursor or hide what it quotes.
std::string printable(const std::string& text);
// "pressbolt-cli: text" on stderr, printable.
void complain(const std::string& text);
// v as a message shows a number of the user's: 0.5, 2, 1e+06.
std::string number(double v);

// Empty when url can be tested; otherwise why not ("has no host" ...).
std::string urlproblem(const std::string& url);

// Empty when path can be written as an output file (its directory exists and is writable, it is
// no directory itself); otherwise why not.
std::string outputproblem(const std::string& path);
