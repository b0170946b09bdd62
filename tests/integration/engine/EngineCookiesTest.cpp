// users.txt, the cookie cache across runs, and cookies carried over redirects.

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "EngineFixture.h"

using ::testing::ElementsAre;

TEST_F(EngineTest, UsersFileShortFileAndSeparatorInPassword) {
  writefile("users.txt", "ann@@pw1\r\nbob@@p@@w2\r\n");
  host.s.url = target.url("/size/1");
  host.s.users = 4;
  host.s.useuser = true;
  host.s.usersfromfile = true;
  runtest();
  EXPECT_TRUE(haslog("Using user/password data from \"users.txt\""));
  EXPECT_THAT(
      logwith("Allocating Request "),
      ElementsAre("Allocating Request 1, Username:ann", "Allocating Request 2, Username:bob",
                  "Allocating Request 3, Username:bob", "Allocating Request 4, Username:bob"));
  EXPECT_EQ(testdescription(host.s), "4 simultaneous users, Use usernames from \"users.txt\"");
}

TEST_F(EngineTest, UsersFileCredentialsReachTheServer) {
  writefile("users.txt", "joe@@se@@cret\n");
  host.s.url = target.url("/auth?user=joe&pw=se%40%40cret");
  host.s.useuser = true;
  host.s.usersfromfile = true;
  runtest();
  EXPECT_THAT(logwith("1x"), ElementsAre("1x \"200\" (=OK)"));
}

TEST_F(EngineTest, UsersFileSavedWithAByteOrderMarkLogsInTheFirstUser) {
  writefile("users.txt", "\xEF\xBB\xBFjoe@@secret\r\n");
  host.s.url = target.url("/auth?user=joe&pw=secret");
  host.s.useuser = true;
  host.s.usersfromfile = true;
  runtest();
  EXPECT_THAT(logwith("Allocating Request "), ElementsAre("Allocating Request 1, Username:joe"));
  EXPECT_THAT(logwith("1x"), ElementsAre("1x \"200\" (=OK)"));
}

TEST_F(EngineTest, MissingUsersFileFallsBackToTheFields) {
  host.s.url = target.url("/size/1");
  host.s.users = 2;
  host.s.useuser = true;
  host.s.usersfromfile = true;
  host.s.username = "field";
  runtest();
  EXPECT_TRUE(
      haslog("Tried to load user/password data from \"users.txt\", but file was not found"));
  EXPECT_FALSE(host.s.usersfromfile);  // the check box was cleared
  EXPECT_THAT(logwith("Allocating Request "), ElementsAre("Allocating Request 1, Username:field",
                                                          "Allocating Request 2, Username:field"));
}

TEST_F(EngineTest, CookiesOfRunOneAreRecordedInCompletionOrderAndReplayed) {
  host.s.url = target.url("/cookie?set=a%3D1&set=b%3D2");
  host.s.users = 2;
  host.s.runs = 2;
  host.s.preservecookies = true;
  host.s.writedata = true;
  // Run 2 asks for /echo, so the cookies it sends come back in the log.
  host.onrunend = [&] { host.s.url = target.url("/echo"); };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(readfile("cookies.txt"), "a=1@@b=2\r\na=1@@b=2\r\n");
  EXPECT_THAT(logwith("Using Cookies: "),
              ElementsAre("Using Cookies: \"cookie: \"", "Using Cookies: \"cookie: \"",
                          "Using Cookies: \"cookie: a=1<cr/lf>cookie: b=2\"",
                          "Using Cookies: \"cookie: a=1<cr/lf>cookie: b=2\""));
  int echoed = 0;
  for (const auto& l : logs.loglines()) {
    if (l.find("\r\nCookie: a=1\r\ncookie: b=2\r\n") != std::string::npos) ++echoed;
  }
  EXPECT_EQ(echoed, 2);
}

namespace {

// The descriptors of this process open on the file at path.
std::vector<std::string> openon(const std::string& path) {
  std::vector<std::string> fds;
  std::error_code ec;
  const auto file = std::filesystem::canonical(path, ec);
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code link;
    if (!ec && std::filesystem::read_symlink(e.path(), link) == file && !link) {
      fds.push_back(e.path().filename().string());
    }
  }
  return fds;
}

}  // namespace

TEST_F(EngineTest, RunOneWritesTheCookieCacheThroughOneOpenFile) {
  host.s.url = target.url("/cookie?set=a%3D1");
  host.s.users = 30;
  host.s.runs = 2;
  host.s.preservecookies = true;
  int completions = 0;
  std::set<std::string> descriptors;
  std::vector<size_t> openatrequest;
  host.onrequest = [&] {
    // From the second completion of run 1 on, the first one's line went into the open file.
    if (++completions < 2 || completions > 30) return;
    const auto fds = openon("cookies.txt");
    openatrequest.push_back(fds.size());
    descriptors.insert(fds.begin(), fds.end());
  };
  size_t openatrunend = 99;
  std::string atrunend;
  host.onrunend = [&] {
    if (openatrunend != 99) return;
    openatrunend = openon("cookies.txt").size();
    atrunend = readfile("cookies.txt");
  };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(openatrequest, std::vector<size_t>(29, 1));
  EXPECT_EQ(descriptors.size(), 1u) << "one file for the run, not one per request";
  // Closed and complete when run 2 comes to read it.
  EXPECT_EQ(openatrunend, 0u);
  std::string lines;
  for (int i = 0; i < 30; ++i) lines += "a=1\r\n";
  EXPECT_EQ(atrunend, lines);
}

TEST_F(EngineTest, ReadOnlyCookieCacheIsAFixedSourceForEveryRun) {
  writefile("cookies.txt", "x=1\r\n\r\ny=2@@z=3\r\n");
  ASSERT_EQ(chmod("cookies.txt", 0444), 0);
  host.s.url = target.url("/cookie?set=new%3D1");
  host.s.users = 4;
  host.s.preservecookies = true;
  runtest();
  EXPECT_FALSE(engine.cookiecachewritable);
  EXPECT_EQ(readfile("cookies.txt"), "x=1\r\n\r\ny=2@@z=3\r\n");
  EXPECT_THAT(logwith("Using Cookies: "),
              ElementsAre("Using Cookies: \"cookie: x=1\"", "Using Cookies: \"cookie: \"",
                          "Using Cookies: \"cookie: y=2<cr/lf>cookie: z=3\"",
                          "Using Cookies: \"cookie: \""));
}

TEST_F(EngineTest, RedirectCarriesItsCookiesToTheFollowUp) {
  host.s.url = target.url("/redirect?to=%2Fecho&cookie=s%3D9");
  host.s.writedata = true;
  runtest();
  auto redirects = logwith("Request 1 Redirect");
  ASSERT_EQ(redirects.size(), 1u);
  EXPECT_EQ(redirects[0],
            "Request 1 Redirect: # ms, StatusCode = 302: redirected to /echo on "
            "127.0.0.1");
  bool sent = false;
  for (const auto& l : logs.loglines()) sent |= l.find("\r\nCookie: s=9\r\n") != std::string::npos;
  EXPECT_TRUE(sent);
  EXPECT_THAT(logwith("1x"), ElementsAre("1x \"200\" (=OK)"));
}

TEST_F(EngineTest, RedirectWithoutCookiesDropsTheCachedCookie) {
  writefile("cookies.txt", "old=1\r\n");
  ASSERT_EQ(chmod("cookies.txt", 0444), 0);
  host.s.preservecookies = true;
  host.s.url = target.url("/redirect?to=%2Fecho");
  host.s.writedata = true;
  runtest();
  bool sent = false;
  for (const auto& l : logs.loglines())
    sent |= l.find("old=1\r\n") != std::string::npos && l.find("GET /echo") != std::string::npos;
  EXPECT_FALSE(sent);
  EXPECT_EQ(logwith("Request 1 Redirect").size(), 1u);
}

TEST_F(EngineTest, UsersFileLineWithoutSeparatorIsAUserWithoutPassword) {
  writefile("users.txt", "justaname\n");
  host.s.url = target.url("/auth?user=justaname&pw=");
  host.s.useuser = true;
  host.s.usersfromfile = true;
  runtest();
  EXPECT_THAT(logwith("Allocating Request "),
              ElementsAre("Allocating Request 1, Username:justaname"));
  EXPECT_THAT(logwith("1x"), ElementsAre("1x \"200\" (=OK)"));
}

TEST_F(EngineTest, VanishedCookieCacheIsLoggedAndTheRunGoesOn) {
  host.s.url = target.url("/cookie?set=a%3D1");
  host.s.users = 2;
  host.s.runs = 2;
  host.s.preservecookies = true;
  // The cache disappears between the runs.
  host.onrunend = [&] { std::remove("cookies.txt"); };
  runtest();
  ASSERT_TRUE(host.finished);
  auto lines = logwith("Could not read cookies from \"cookies.txt\": ");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(logwith("Request 2 Done").size(), 2u);
  EXPECT_EQ(logwith("Using Cookies: \"cookie: \"").size(), 4u);
}
