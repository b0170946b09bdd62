// From the command line's words to the engine's settings: stored settings and their overrides,
// strict decimal numbers, URL checks.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliJob.h"
#include "cli/CliOptions.h"
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
  for (const char* good : {"http://127.0.0.1/", "HTTP://localhost:8080/a?b=@@", "127.0.0.1/x",
                           "http://[::1]:80/", "http://user:pw@host/"}) {
    EXPECT_EQ(urlproblem(good), "") << good;
  }
  for (const char* bad : {"http://", "?", "/only/a/path", "https://h/", "ftp://h/", "http://h:0/",
                          "http://h:/", "http://a b/", "http://h/\r\nX: 1"}) {
    EXPECT_NE(urlproblem(bad), "") << bad;
  }
}
