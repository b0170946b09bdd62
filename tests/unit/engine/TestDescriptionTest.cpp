// The one-line description of a test in the log header and the request chart's foot.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/TestSettings.h"

namespace {

TestSettings basic(int users, int runs, int wait) {
  TestSettings s;
  s.users = users;
  s.runs = runs;
  s.waitperrun = wait;
  return s;
}

TEST(TestDescription, TheWorkedExample) {
  TestSettings s = basic(20, 3, 5);
  s.useuser = true;
  s.username = "joe";
  EXPECT_EQ(testdescription(s), "20 simultaneous users, Username=\"joe\"  - 3 runs - wait for 5s");
}

TEST(TestDescription, RunsAndWaitAreMentionedOnlyAboveOne) {
  struct TCase {
    int runs, wait;
    std::string expected;
  };
  const std::vector<TCase> cases = {
      {1, 0, "5 simultaneous users"},
      {1, 1, "5 simultaneous users"},
      {1, 2, "5 simultaneous users - wait for 2s"},
      {2, 0, "5 simultaneous users - 2 runs"},
      {65536, 10000, "5 simultaneous users - 65536 runs - wait for 10000s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testdescription(basic(5, c.runs, c.wait)), c.expected) << c.runs << "/" << c.wait;
  }
}

TEST(TestDescription, RampReplacesTheUserCount) {
  TestSettings s = basic(20000, 8, 0);
  s.ramptest = true;
  EXPECT_EQ(testdescription(s), "ramp test with up to 20000 simultaneous users - 8 runs");
}

TEST(TestDescription, UserNamesFromTheFileOrTheField) {
  TestSettings s = basic(3, 1, 0);
  s.username = "joe";
  EXPECT_EQ(testdescription(s), "3 simultaneous users");  // a name alone is not used
  s.useuser = true;
  EXPECT_EQ(testdescription(s), "3 simultaneous users, Username=\"joe\" ");
  s.usersfromfile = true;
  s.runs = 2;
  EXPECT_EQ(testdescription(s), "3 simultaneous users, Use usernames from \"users.txt\" - 2 runs");
  s.useuser = false;  // the file is only used for authenticating users
  EXPECT_EQ(testdescription(s), "3 simultaneous users - 2 runs");
}

TEST(TestDescription, ProxySuffixOnlyWhenAskedForAndOn) {
  TestSettings s = basic(1, 1, 0);
  s.proxy = "proxy.local";
  s.proxyport = "3128";
  EXPECT_EQ(testdescription(s, true), "1 simultaneous users");
  s.useproxy = true;
  EXPECT_EQ(testdescription(s), "1 simultaneous users");
  EXPECT_EQ(testdescription(s, true), "1 simultaneous users - using proxy: proxy.local:3128");
  s.runs = 4;
  s.waitperrun = 3;
  EXPECT_EQ(testdescription(s, true),
            "1 simultaneous users - 4 runs - wait for 3s - using proxy: proxy.local:3128");
}

}  // namespace
