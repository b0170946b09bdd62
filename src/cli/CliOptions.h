#pragma once
// The options of pressbolt-cli as the user typed them. Nothing is checked here beyond what the
// parser knows (names, counts); numbers stay text so that they are read strictly as decimal, and
// every option that may come from a settings file is optional, so "given" can override "stored".
// The plain flags and numbers of the settings model are kept by option name; any other option is
// a field here and one line in addoptions().

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct TCliOptions {
  std::string url;  // the positional argument
  // The settings model's options by name ("--users", "--ramp"): a number as typed, a flag as
  // given ("--no-ramp" gives false). Numbers also holds "--key-offset", whose range the job
  // works out from the users.
  std::map<std::string, std::optional<std::string>> numbers;
  std::map<std::string, std::optional<bool>> flags;
  std::optional<std::string> urlsfile, agent, proxy, user, post, postfile;
  bool passwordstdin = false;
  std::optional<std::string> settingsfile, outputdir;
  // The outputs of cli/OutputTable by option ("--json"): the file as typed.
  std::map<std::string, std::optional<std::string>> outputs;
  std::optional<std::string> timeout, maxerrorrate, maxavgwait, maxp99wait, maxp99server;
  // Comparing with an earlier result, and re-rendering a stored one.
  std::optional<std::string> baseline, maxregression, report;
  bool quiet = false;
  bool demo = false;
  // A test split over several processes, and the merge of their results.
  std::optional<std::string> segment, segments, startat, runinterval;
  std::vector<std::string> merge;
  bool allowpartial = false;
};

// The exit statuses, as --help and the README document them.
enum TExitStatus {
  kExitOk = 0,
  kExitNotStarted = 1,    // the engine refused to start (e.g. cookies.txt cannot be created)
  kExitBadInput = 2,      // bad options or input: nothing started, no file touched
  kExitThreshold = 3,     // a run exceeded --max-error-rate, --max-avg-wait, --max-p99-wait or
                          // --max-p99-server, or the test got slower than --max-regression allows
  kExitTimeout = 4,       // --timeout aborted the test
  kExitNotWritten = 5,    // a result (log file, JSON, CSV, HTML, stdout) could not be written
  kExitSignalBase = 128,  // + the signal: 129 SIGHUP, 130 Ctrl-C, 143 SIGTERM
};

// Registers every option on app, storing into o.
void addoptions(CLI::App& app, TCliOptions& o);

// Parses the command line into o. Returns -1 when the test may go on; otherwise the exit status
// (0 after --help or --version, kExitBadInput after one line naming the problem on stderr).
int parseoptions(int argc, char** argv, TCliOptions& o);

// Overwrites the password of "--user NAME:PASSWORD" in argv, so the process list no longer shows
// it once parsing is done.
void hidepassword(int argc, char** argv);
