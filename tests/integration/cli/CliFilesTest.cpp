// pressbolt-cli and the files it is given: outputs that are no regular files, inputs that never
// end, a password in the URL, a long URL list, a merge that is refused, a signal after the last
// run, and the messages of a few numbers out of range.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "CliProcess.h"
#include "segments/StartTime.h"
#include "support/TargetServer.h"

namespace {

nlohmann::json json(const TTempDir& dir, const std::string& name) {
  return nlohmann::json::parse(readfile(dir.file(name)));
}

bool holds(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

}  // namespace

TEST(CliFiles, OutputsThatAreNoRegularFilesAreWrittenIntoAndAFailedWriteIsStatusFive) {
  TTargetServer target;
  TTempDir dir;
  const std::string url = " " + target.url("/size/3");
  // A device that takes nothing: the JSON is lost, and the status says so.
  TCliResult r = clirun(dir, "-q --users 2 --output-dir . --json /dev/full" + url);
  EXPECT_EQ(r.status, 5);
  EXPECT_TRUE(holds(r.err, "cannot write \"/dev/full\": No space left on device")) << r.err;
  struct stat st {};
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  // /dev/stdout is stdout: the JSON lands in the file the shell opened, the Results text on
  // stderr, as with "-".
  TCliProcess p(dir, "--users 2 --output-dir . --json /dev/stdout" + url, "",
                "'" + dir.file("out.json") + "'");
  ASSERT_EQ(p.wait(), 0) << p.err();
  EXPECT_EQ(json(dir, "out.json")["runs"][0]["completed"], 2);
  EXPECT_TRUE(holds(p.err(), "Results of run 1")) << p.err();

  // Two names of stdout are one output too many.
  r = clirun(dir, "--json /dev/stdout --requests-csv -" + url);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(holds(r.err, "--requests-csv: only one output can go to stdout")) << r.err;
}

// The JSON goes into a FIFO, so the program waits for its reader after the last run: a signal
// then finds a finished test, which it must not call aborted.
TEST(CliFiles, ASignalAfterTheLastRunLeavesAFinishedTest) {
  TTargetServer target;
  TTempDir dir;
  const std::string fifo = dir.file("r.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  TCliProcess p(dir, "--users 3 --output-dir . --json r.fifo " + target.url("/size/3"));
  ASSERT_TRUE(p.waitfor(dir.file(".stdout"), "Results of run 1"));
  p.signal(SIGTERM);
  const std::string written = readfile(fifo);
  EXPECT_EQ(p.wait(), 0) << p.err();
  const auto j = nlohmann::json::parse(written);
  EXPECT_FALSE(j["aborted"].get<bool>());
  EXPECT_EQ(j["runs"][0]["completed"], 3);
  EXPECT_FALSE(holds(p.err(), "aborted")) << p.err();
  struct stat st {};
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(CliFiles, InputsThatNeverEndAreRefusedNamingThem) {
  TTempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  writefile(dir.file("bad.json"), "{\"format\": 1}");
  const std::string url = " http://127.0.0.1:1/";
  const std::pair<std::string, std::string> cases[] = {
      {"--baseline /dev/zero" + url, "--baseline: \"/dev/zero\" is not a regular file"},
      {"--baseline fifo" + url, "--baseline: \"fifo\" is not a regular file"},
      {"--report /dev/zero", "--report: \"/dev/zero\" is not a regular file"},
      {"--merge /dev/zero", "--merge: \"/dev/zero\" is not a regular file"},
      {"--merge fifo", "--merge: \"fifo\" is not a regular file"},
      {"--post-file /dev/zero" + url, "--post-file: \"/dev/zero\" is a device, not a file"},
      {"--urls /dev/zero", "--urls: \"/dev/zero\" is a device, not a file"},
      {"--report - --baseline -",
       "--report: standard input is read once, and --baseline reads it already"},
      {"--max-regression -1 --baseline bad.json" + url,
       "--max-regression: -1 must not be negative (0 to 1000000)"},
      {"--segment 1/0" + url, "--segment: \"1/0\": the number of segments K must be at least 1"},
  };
  for (const auto& [args, problem] : cases) {
    const auto begun = std::chrono::steady_clock::now();
    TCliResult r = clirun(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(holds(r.err, "pressbolt-cli: " + problem)) << args << ": " << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(10)) << args;
  }
  // A merge that is refused makes no output directory.
  TCliResult r = clirun(dir, "--merge bad.json --output-dir made --json merged.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.file("made"))) << r.err;
}

TEST(CliFiles, APasswordInTheUrlIsWrittenNowhere) {
  TTargetServer target;
  TTempDir dir;
  const std::string url = "http://alice:S3cret@" + target.hostport() + "/size/3";
  writefile(dir.file("urls.txt"), url + "\n" + url + "?b\n");
  for (const std::string& test : {" '" + url + "'", std::string(" --urls urls.txt")}) {
    TCliResult r = clirun(dir,
                          "--users 2 --output-dir . --json r.json --requests-csv r.csv "
                          "--html r.html" +
                              test);
    ASSERT_EQ(r.status, 0) << r.err;
    // The result read back, and written again as --report does (also from standard input).
    TCliResult again = clirun(dir, "--report - --json again.json --requests-csv again.csv",
                              readfile(dir.file("r.json")));
    ASSERT_EQ(again.status, 0) << again.err;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.path().filename() == "urls.txt") continue;
      EXPECT_FALSE(holds(readfile(entry.path()), "S3cret")) << entry.path() << test;
    }
    EXPECT_FALSE(holds(r.out, "S3cret"));
    const auto j = json(dir, "r.json");
    const std::string masked = "http://alice:***@" + target.hostport() + "/size/3";
    EXPECT_TRUE(holds(j["request_urls"].dump(), "\"" + masked)) << test;
    if (test == " --urls urls.txt") {
      EXPECT_EQ(j["settings"]["urls"][1], masked + "?b");
    } else {
      EXPECT_EQ(j["settings"]["url"], masked);
    }
    EXPECT_TRUE(holds(readfile(dir.file("r.csv")), masked)) << test;
  }
}

TEST(CliFiles, AUrlListKeepsAndListsOnlyTheLinesItsUsersTake) {
  TTargetServer target;
  TTempDir dir;
  std::string lines;
  for (int i = 1; i <= 50; ++i) lines += target.url("/size/" + std::to_string(i)) + "\n";
  writefile(dir.file("urls.txt"), lines);
  TCliResult r = clirun(dir,
                        "-q --users 3 --runs 2 --ramp --output-dir . --json r.json "
                        "--urls urls.txt");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = json(dir, "r.json");
  ASSERT_EQ(j["settings"]["urls"].size(), 3u);
  EXPECT_EQ(j["settings"]["urls"][2], target.url("/size/3"));
  EXPECT_EQ(j["request_urls"].size(), 3u);
  const std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_TRUE(holds(log, "URL#3: "));
  EXPECT_FALSE(holds(log, "URL#4: "));
  // A line no user takes is still checked.
  writefile(dir.file("urls.txt"), lines + "http://[zz]/\n");
  r = clirun(dir, "--users 3 --urls urls.txt");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(holds(r.err, "--urls: line 51:")) << r.err;
}

// The start is awaited on the wall clock; "started" is that second, never the one before.
TEST(CliFiles, TheStartAtItsInstantAndCtrlCBeforeIt) {
  TTargetServer target;
  TTempDir dir;
  const int64_t at = (epochmsnow() / 1000 + 2) * 1000;
  TCliResult r = clirun(dir, "-q --users 2 --output-dir . --json r.json --start-at " +
                                 std::to_string(at) + " " + target.url("/size/1"));
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = json(dir, "r.json");
  EXPECT_GE(j["started_epoch_ms"].get<double>(), double(at) - 1);
  const std::string second = rfc3339(at).substr(0, 19) + "Z";
  EXPECT_EQ(j["started"], second);

  TCliProcess p(dir, "--users 2 --output-dir . --start-at " +
                         std::to_string(epochmsnow() + 600000) + " " + target.url("/size/1"));
  ASSERT_TRUE(p.waitfor(dir.file(".stderr"), "waiting for the start at"));
  p.signal(SIGINT);
  EXPECT_EQ(p.wait(), 130);
  EXPECT_TRUE(holds(p.err(), "test aborted by Ctrl-C before the start at ")) << p.err();
  EXPECT_TRUE(holds(p.err(), "; nothing was sent")) << p.err();
}
