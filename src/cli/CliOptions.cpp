#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/OutputTable.h"
#include "common/OutputText.h"
#include "settings/SettingsModel.h"

namespace {

// After the line that names the outputs which may go to stdout.
const char* kFooter = R"(
Exit status:
  0    the test ran to its end (whatever the server answered)
  1    the test could not start
  2    bad options or input (also an output directory that cannot be written):
       nothing was started and no file was touched
  3    a run exceeded --max-error-rate, --max-avg-wait, --max-p99-wait or --max-p99-server,
       or the test got slower than --max-regression allows
  4    --timeout aborted the test (the completed runs are written)
  5    a result (log file, JSON, CSV, HTML or stdout) could not be written
  129, 130, 143  aborted by SIGHUP, Ctrl-C (SIGINT) or SIGTERM; the completed runs are written.
       The same signal again is ignored while they are saved; a different one
       ends the program at once.)";

// The option of a setting of the settings model, with its help text from there.
void addsetting(CLI::App& app, TCliOptions& o, const char* option) {
  const TSetting& e = *settingbyoption(option);
  if (e.kind == TSettingKind::flag) {
    const std::string name = option + 2;
    app.add_flag(std::string(option) + ",!--no-" + name, o.flags[option], e.help);
  } else {
    app.add_option(option, o.numbers[option], e.help)->type_name(e.valuename);
  }
}

}  // namespace

void addoptions(CLI::App& app, TCliOptions& o) {
  app.footer("Numbers are decimal. FILE \"-\" for " + stdoutoptions() + " means stdout.\n" +
             kFooter);
  app.set_version_flag("--version", std::string("pressbolt-cli ") + kVersion);
  app.add_option("url", o.url, "The URL to test (not with --urls)")->type_name("URL");

  for (const char* option : {"--users", "--runs", "--wait", "--ramp"}) addsetting(app, o, option);
  app.add_option("--urls", o.urlsfile, "File of URLs, one per line, taken in turn by the users")
      ->type_name("FILE");
  app.add_option("--agent", o.agent, "User-Agent text")->type_name("TEXT");
  app.add_option("--proxy", o.proxy, "Proxy as HOST:PORT")->type_name("HOST:PORT");
  app.add_option("--user", o.user,
                 "Basic credentials as NAME:PASSWORD, or NAME with --password-stdin")
      ->type_name("NAME[:PASSWORD]");
  app.add_flag("--password-stdin", o.passwordstdin,
               "Read the password of --user NAME from the first line of standard input");
  addsetting(app, o, "--users-file");
  app.add_option("--post", o.post, "Send POST requests with this body")->type_name("DATA");
  app.add_option("--post-file", o.postfile, "Send POST requests with the body read from FILE")
      ->type_name("FILE");
  app.add_option("--key-offset", o.numbers["--key-offset"],
                 "Replace @@ in the URL by offset + user number")
      ->type_name("N");
  for (const char* option :
       {"--preserve-cookies", "--write-headers", "--write-data", "--on-error-only"}) {
    addsetting(app, o, option);
  }
  // A setting given an option later is listed here, after the others.
  for (const TSetting& e : settingsmodel()) {
    if (e.option != nullptr && !o.flags.contains(e.option) && !o.numbers.contains(e.option)) {
      addsetting(app, o, e.option);
    }
  }
  app.add_option("--settings", o.settingsfile,
                 "Start from the window's settings file; options given here override it")
      ->type_name("FILE");
  app.add_option("--output-dir", o.outputdir,
                 "Directory for the log files and temp.htm (created when missing)")
      ->type_name("DIR");

  for (const TOutputFormat& f : outputformats()) {
    app.add_option(f.option, o.outputs[f.option], f.help)->type_name("FILE");
  }

  app.add_option("--timeout", o.timeout,
                 "Abort the test after SECONDS, the wait for --start-at included (exit status 4)")
      ->type_name("SECONDS");
  app.add_option("--max-error-rate", o.maxerrorrate,
                 "Exit status 3 when a run has more than PERCENT errors")
      ->type_name("PERCENT");
  app.add_option("--max-avg-wait", o.maxavgwait,
                 "Exit status 3 when a run's average user wait time exceeds MS")
      ->type_name("MS");
  app.add_option("--max-p99-wait", o.maxp99wait,
                 "Exit status 3 when a run's 99th percentile of the wait time exceeds MS")
      ->type_name("MS");
  app.add_option("--max-p99-server", o.maxp99server,
                 "Exit status 3 when a run's 99th percentile of the server's own time (from kernel "
                 "receive stamps) exceeds MS")
      ->type_name("MS");
  app.add_option("--baseline", o.baseline,
                 "Compare with an earlier JSON result of the same test (users, runs, ramp); - for "
                 "standard input")
      ->type_name("FILE");
  app.add_option("--max-regression", o.maxregression,
                 "Exit status 3 when the median or p99 wait or the server time got worse than in "
                 "--baseline by more than PERCENT and by more than 1 ms")
      ->type_name("PERCENT");
  app.add_option("--report", o.report,
                 "Write the outputs of a stored or merged JSON result instead of running a test; - "
                 "for standard input")
      ->type_name("FILE");
  app.add_flag("-q,--quiet", o.quiet, "No progress line and no results on stdout");
  app.add_flag("--demo", o.demo,
               "Start pressbolt-target on a free loopback port and run a short ramp test on it");

  app.add_option("--segment", o.segment,
                 "Fire only segment I of K of every run's users: user k belongs to segment "
                 "((k - 1) mod K) + 1; --users counts the whole test (up to 20000 x K)")
      ->type_name("I/K");
  app.add_option("--segments", o.segments,
                 "As --segment, with I taken from JOB_COMPLETION_INDEX + 1 (a Kubernetes Indexed "
                 "Job sets it)")
      ->type_name("K");
  app.add_option("--start-at", o.startat,
                 "Wait until TIME (RFC 3339 with offset, or epoch milliseconds; at most a day "
                 "ahead) before run 1")
      ->type_name("TIME");
  app.add_option("--run-interval", o.runinterval,
                 "In a split test with --start-at, fire run r at the start plus (r - 1) x "
                 "SECONDS in every segment (default: the wait between runs plus 30)")
      ->type_name("SECONDS");
  app.add_flag("--allow-partial", o.allowpartial,
               "With --merge, merge the segments that are there and mark the result partial, "
               "naming the missing segments and their users");
  app.add_option("--merge", o.merge,
                 "Merge the JSON results of a split test's segments (files, or a directory of "
                 "them) into one result instead of running a test")
      ->type_name("FILE|DIR ...");
}

int parseoptions(int argc, char** argv, TCliOptions& o) {
  CLI::App app{
      "Pressbolt load test without a window: every run starts one HTTP/1.0 request per "
      "user, all together, and reports what the server did.",
      "pressbolt-cli"};
  addoptions(app, o);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ArgumentMismatch& e) {
    // "--users: 1 required N missing" in our own words.
    std::string text = e.what();
    std::fprintf(stderr, "pressbolt-cli: %s: needs a value (see --help)\n",
                 text.substr(0, text.find(':')).c_str());
    return kExitBadInput;
  } catch (const CLI::ExtrasError& e) {
    std::string extra = e.what();
    extra = extra.substr(extra.rfind(": ") + 2);
    const char* what = extra.rfind("-", 0) == 0 ? "unknown option" : "unexpected argument";
    std::fprintf(stderr, "pressbolt-cli: %s %s (see --help)\n", what, extra.c_str());
    return kExitBadInput;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "pressbolt-cli: %s (see --help)\n", e.what());
    return kExitBadInput;
  }
  // A flag not given must stay unset, so that a settings file's value survives it.
  for (auto& [name, field] : o.flags) {
    if (app.count(name) == 0) field.reset();
  }
  return -1;
}

void hidepassword(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    char* value = nullptr;
    if (std::strcmp(argv[i], "--user") == 0 && i + 1 < argc) {
      value = argv[i + 1];
    } else if (std::strncmp(argv[i], "--user=", 7) == 0) {
      value = argv[i] + 7;
    }
    if (value == nullptr) continue;
    if (char* colon = std::strchr(value, ':')) {
      for (char* p = colon + 1; *p != '\0'; ++p) *p = '*';
    }
  }
}
