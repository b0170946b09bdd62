// From the command line's words to the engine's settings: stored settings and their overrides,
// strict decimal numbers, URL checks.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliJob.h"
#include "cli/CliOptions.h"
#include "segments/StartTime.h"
#include "settings/SettingsModel.h"
#include "settings/StoredSettings.h"
#include "support/TestSupport.h"

namespace {

struct TParsed {
  int status;
  TCliJob job;
  std::string error;
};

TParsed parse(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "pressbolt-cli");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  TCliOptions o;
  TParsed p{parseoptions(int(argv.size()), argv.data(), o), {}, {}};
  if (p.status >= 0) return p;
  std::istringstream in(input);
  if (!resolvejob(o, in, p.job, p.error)) p.status = kExitBadInput;
  return p;
}

}  // namespace

TEST(CliJob, OptionsGivenOverrideTheSettingsFileAndOnlyThose) {
  TTempDir dir;
  TStoredSettings st;
  st.url = "http://127.0.0.1:8080/stored";
  st.users = 7;
  st.runs = 3;
  st.ramptest = true;
  st.writeheaders = true;
  st.useuser = true;
  st.username = "ann";
  std::string error;
  ASSERT_TRUE(writestoredsettings(dir.file("p.ini"), st, error));

  TParsed p = parse({"--settings", dir.file("p.ini"), "--no-ramp", "--runs", "2"});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_EQ(p.job.settings.url, st.url);
  EXPECT_EQ(p.job.settings.users, 7);
  EXPECT_EQ(p.job.settings.runs, 2);
  EXPECT_FALSE(p.job.settings.ramptest);
  EXPECT_TRUE(p.job.settings.writeheaders);  // a flag not given keeps the stored value
  EXPECT_EQ(p.job.settings.username, "ann");

  p = parse({"--settings", dir.file("p.ini"), "--password-stdin"}, "pw\r\n");
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_EQ(p.job.settings.password, "pw");
}

// The limit follows from the test's highest key, offset + users, and reads as a range.
TEST(CliJob, EverySettingOptionOverridesTheFileAndBelongsToATest) {
  TTempDir dir;
  TStoredSettings st;
  st.url = "http://127.0.0.1:8080/stored";
  for (const TSetting& e : settingsmodel()) {
    if (e.option != nullptr && e.kind == TSettingKind::flag) st.*e.flag = true;
  }
  std::string error;
  ASSERT_TRUE(writestoredsettings(dir.file("p.ini"), st, error));
  for (const TSetting& e : settingsmodel()) {
    if (e.option == nullptr) continue;
    const std::string option = e.option;
    std::vector<std::string> args = {"--settings", dir.file("p.ini")};
    if (e.kind == TSettingKind::flag) {
      args.push_back("--no-" + option.substr(2));
    } else if (e.kind == TSettingKind::text) {
      args.insert(args.end(), {option, "given.pem"});
    } else {
      args.insert(args.end(), {option, std::to_string(e.max)});
    }
    TParsed p = parse(args);
    ASSERT_EQ(p.status, -1) << option << ": " << p.error;
    TStoredSettings got;
    static_cast<TestSettings&>(got) = p.job.settings;
    if (e.kind == TSettingKind::flag) {
      EXPECT_FALSE(got.*e.flag) << option;
    } else if (e.kind == TSettingKind::text) {
      EXPECT_EQ(got.*e.text, "given.pem") << option;
    } else {
      EXPECT_EQ(got.*e.number, e.max) << option;
    }
    args = {"--merge", dir.path(), args[2]};
    if (e.kind != TSettingKind::flag) args.push_back("1");
    EXPECT_EQ(parse(args).error, "--merge: " + option + " belongs to a test, not to a merge");
  }
}

TEST(CliJob, KeyOffsetUpToTheHighestKeyThatFits) {
  const std::string url = "http://127.0.0.1:1/";
  EXPECT_EQ(parse({"--key-offset", "9223372036854775807", "--users", "3", url}).error,
            "--key-offset: 9223372036854775807 is out of range (-9223372036854775808 to "
            "9223372036854775804)");
  EXPECT_EQ(
      parse({"--users", "3", "--key-offset", "9223372036854775804", url}).job.settings.keyoffset,
      9223372036854775804);
  EXPECT_EQ(
      parse({"--users", "1", "--key-offset", "9223372036854775806", url}).job.settings.keyoffset,
      9223372036854775806)
      << "one user: one key above the offset";
  EXPECT_EQ(parse({"--key-offset", "-9223372036854775808", url}).status, -1);
}

TEST(CliJob, NumbersAreStrictlyDecimal) {
  const std::string url = "http://127.0.0.1:1/";
  EXPECT_EQ(parse({"--users", "010", url}).job.settings.users, 10);
  EXPECT_EQ(parse({"--users", "+20000", url}).job.settings.users, 20000);
  EXPECT_EQ(parse({"--wait", "09", url}).job.settings.waitperrun, 9);
  EXPECT_EQ(parse({"--key-offset", "-5", url}).job.settings.keyoffset, -5);
  EXPECT_EQ(*parse({"--timeout", "0.25", url}).job.timeout, 0.25);
  for (const char* bad : {"0x10", "1e2", " 5", "5 ", "", "-", "1.5", "99999999999999999999"}) {
    TParsed p = parse({"--users", bad, url});
    EXPECT_EQ(p.status, kExitBadInput) << bad;
    EXPECT_EQ(p.error.rfind("--users: ", 0), 0u) << p.error;
  }
  for (const char* bad : {"-1", "1e3", ".", "0.5.1", "inf", "nan"}) {
    EXPECT_EQ(parse({"--timeout", bad, url}).status, kExitBadInput) << bad;
  }
}

TEST(CliJob, UrlsNeedAnHttpSchemeAndAHost) {
  for (const char* good :
       {"http://127.0.0.1/", "HTTP://localhost:8080/a?b=@@", "127.0.0.1/x", "http://[::1]:80/",
        "http://user:pw@host/", "https://h/", "HTTPS://127.0.0.1:8443/"}) {
    EXPECT_EQ(urlproblem(good), "") << good;
  }
  for (const char* bad : {"http://", "?", "/only/a/path", "https://", "ftp://h/", "http://h:0/",
                          "http://h:/", "http://a b/", "http://h/\r\nX: 1"}) {
    EXPECT_NE(urlproblem(bad), "") << bad;
  }
}

// A split test: the segment from I/K or from the Indexed Job's index, a whole test of up to
// 20000 users per segment, and a start that all segments can still meet.
TEST(CliJob, SegmentOptions) {
  const std::string url = "http://127.0.0.1:1/";
  TParsed p = parse({"--segment", "2/4", "--users", "80000", url});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_EQ(p.job.segment, 2);
  EXPECT_EQ(p.job.segments, 4);
  EXPECT_EQ(p.job.settings.users, 80000);
  EXPECT_EQ(parse({"--segment", "2/4", "--users", "80001", url}).error,
            "--users: 80001 is out of range (1 to 80000)");
  EXPECT_EQ(parse({"--users", "20001", url}).status, kExitBadInput);
  EXPECT_EQ(parse({"--segment", "5/4", url}).error,
            "--segment: \"5/4\": the segment number must be 1 to 4");
  EXPECT_EQ(parse({"--segment", "1/2", "--segments", "2", url}).error,
            "--segments: give either --segment I/K or --segments K, not both");

  unsetenv("JOB_COMPLETION_INDEX");
  EXPECT_NE(parse({"--segments", "4", url}).error.find("JOB_COMPLETION_INDEX is not set"),
            std::string::npos);
  setenv("JOB_COMPLETION_INDEX", "3", 1);
  p = parse({"--segments", "4", url});
  unsetenv("JOB_COMPLETION_INDEX");
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_EQ(p.job.segment, 4);

  p = parse({"--start-at", std::to_string(epochmsnow() + 60000), url});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_TRUE(p.job.startat.has_value());
  p = parse({"--start-at", "2020-01-01T00:00:00Z", url});
  EXPECT_EQ(p.error.rfind("--start-at: 2020-01-01T00:00:00.000Z is ", 0), 0u) << p.error;
  EXPECT_EQ(parse({"--start-at", "soon", url}).status, kExitBadInput);

  // The shared run instants belong to a split test that starts at an instant.
  const std::string at = std::to_string(epochmsnow() + 60000);
  p = parse({"--segment", "1/2", "--start-at", at, "--run-interval", "2.5", url});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_EQ(p.job.runinterval, 2.5);
  EXPECT_EQ(parse({"--segment", "1/2", "--run-interval", "2", url}).error,
            "--run-interval: goes with a split test's --start-at (--segment or --segments)");
  EXPECT_EQ(parse({"--start-at", at, "--run-interval", "2", url}).status, kExitBadInput);
  EXPECT_EQ(parse({"--segment", "1/2", "--start-at", at, "--run-interval", "0", url}).status,
            kExitBadInput);
  EXPECT_EQ(parse({"--allow-partial", url}).error, "--allow-partial: goes with --merge");
}

TEST(CliJob, MergeTakesFilesAndDirectoriesAndOnlyOutputOptions) {
  TTempDir dir;
  writefile(dir.file("b.json"), "{}");
  writefile(dir.file("a.json"), "{}");
  writefile(dir.file("merged.json"), "{}");
  writefile(dir.file("notes.txt"), "");
  TParsed p = parse({"--merge", dir.path(), dir.file("notes.txt"), "--json",
                     dir.file("merged.json"), "--max-error-rate", "5"});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_EQ(p.job.merge, (std::vector<std::string>{dir.file("a.json"), dir.file("b.json"),
                                                   dir.file("notes.txt")}));
  EXPECT_EQ(p.job.maxerrorrate, 5);
  EXPECT_EQ(parse({"--merge", dir.path(), "--users", "5"}).error,
            "--merge: --users belongs to a test, not to a merge");
  EXPECT_EQ(parse({"http://127.0.0.1/", "--merge", dir.path()}).error,
            "--merge: a URL belongs to a test, not to a merge");
  EXPECT_EQ(parse({"--merge", dir.file("missing.json")}).error,
            "--merge: cannot read \"" + dir.file("missing.json") + "\"");
  TTempDir empty;
  EXPECT_EQ(parse({"--merge", empty.path()}).error,
            "--merge: no .json file in \"" + empty.path() + "\"");
}

TEST(CliJob, AValueGivenSwitchesOnItsOptionAStoredOneDoesNot) {
  TTempDir dir;
  const std::string url = "http://127.0.0.1:1/";
  writefile(dir.file("body"), "a=1");
  struct TCase {
    std::vector<std::string> args;
    bool TestSettings::*option;
  };
  for (const TCase& k : {TCase{{"--agent", "probe"}, &TestSettings::useagent},
                         TCase{{"--post", "a=1"}, &TestSettings::usepost},
                         TCase{{"--post-file", dir.file("body")}, &TestSettings::usepost},
                         TCase{{"--key-offset", "-5"}, &TestSettings::usekey},
                         TCase{{"--users-file"}, &TestSettings::useuser},
                         TCase{{"--user", "ann"}, &TestSettings::useuser}}) {
    std::vector<std::string> args = k.args;
    args.push_back(url);
    const TParsed p = parse(args);
    ASSERT_EQ(p.status, -1) << k.args[0] << ": " << p.error;
    EXPECT_TRUE(p.job.settings.*k.option) << k.args[0];
    EXPECT_FALSE(parse({url}).job.settings.*k.option) << k.args[0];
  }
  EXPECT_EQ(postbody(parse({"--post-file", dir.file("body"), url}).job.settings), "a=1");

  // A stored value keeps its stored option; a stored users.txt choice asks for users.
  TStoredSettings st;
  st.url = url;
  st.agent = "stored agent";
  st.postdata = "b=2";
  st.usersfromfile = true;
  std::string error;
  ASSERT_TRUE(writestoredsettings(dir.file("p.ini"), st, error));
  const TParsed p = parse({"--settings", dir.file("p.ini")});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_FALSE(p.job.settings.useagent || p.job.settings.usepost);
  EXPECT_TRUE(p.job.settings.useuser && p.job.settings.usersfromfile);
}
