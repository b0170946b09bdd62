// A test split into segments: each process fires only its share of every run, and the shares
// together are the whole test, user for user.

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>

#include "EngineFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(EngineTest, SegmentRefusesANumberOutsideItsSplit) {
  EXPECT_THROW(engine.setsegment(0, 4), std::invalid_argument);
  EXPECT_THROW(engine.setsegment(5, 4), std::invalid_argument);
  EXPECT_THROW(engine.setsegment(1, 0), std::invalid_argument);
  EXPECT_EQ(engine.segment(), 1);
  EXPECT_EQ(engine.segments(), 1);
}

// URL rotation, key numbers, users.txt lines and a fixed cookie source follow the user's number in
// the whole test, so the segments' allocation lines together are those of the unsplit run.
TEST_F(EngineTest, SegmentsTogetherAllocateExactlyTheWholeTest) {
  writefile("users.txt", "ann@@1\nbob@@2\ncid@@3\ndan@@4\n");
  writefile("cookies.txt", "c=1\r\nc=2\r\nc=3\r\nc=4\r\nc=5\r\n");
  ASSERT_EQ(chmod("cookies.txt", 0444), 0);
  host.s.multipleurls = true;
  host.urls = {target.url("/size/1?u=@@"), target.url("/size/2?u=@@"), target.url("/size/3?u=@@")};
  host.s.users = 7;
  host.s.usekey = true;
  host.s.keyoffset = 100;
  host.s.useuser = true;
  host.s.usersfromfile = true;
  host.s.preservecookies = true;

  runtest();
  ASSERT_TRUE(host.finished);
  std::vector<std::string> whole = logwith("Allocating Request ");
  std::vector<std::string> cookies = logwith("Using Cookies: ");
  ASSERT_EQ(whole.size(), 7u);

  std::vector<std::string> joined, joinedcookies;
  for (int i = 1; i <= 3; ++i) {
    engine.setsegment(i, 3);
    host.ended = false;
    runtest();
    ASSERT_TRUE(host.finished) << "segment " << i;
    const int share = i == 1 ? 3 : 2;  // users 1, 4, 7; 2, 5; 3, 6
    EXPECT_TRUE(haslog("Created " + std::to_string(share) +
                       " requests in #ms (equals ~# requests per second)"));
    EXPECT_TRUE(haslog(std::to_string(share) + "x \"200\" (=OK)"));
    EXPECT_TRUE(haslog("  Average User Wait Time: # msec for " + std::to_string(share) +
                       " simultaneous users"));
    for (const auto& l : logwith("Allocating Request ")) joined.push_back(l);
    for (const auto& l : logwith("Using Cookies: ")) joinedcookies.push_back(l);
  }
  std::sort(joined.begin(), joined.end());
  std::sort(whole.begin(), whole.end());
  EXPECT_EQ(joined, whole);
  std::sort(joinedcookies.begin(), joinedcookies.end());
  std::sort(cookies.begin(), cookies.end());
  EXPECT_EQ(joinedcookies, cookies);
  // Segment 3 of the last pass owned users 3 and 6.
  EXPECT_THAT(logwith("Allocating Request "),
              ElementsAre("Allocating Request 3, Key: 103 Used URL#3: \"" +
                              target.url("/size/3?u=@@") + "\", Username:cid",
                          "Allocating Request 6, Key: 106 Used URL#3: \"" +
                              target.url("/size/3?u=@@") + "\", Username:dan"));
}

// A ramp of 1, 2, 3 users split three ways: segment 3 owns no user in runs 1 and 2, completes
// them at once without statistics, and its first response is that of its first user.
TEST_F(EngineTest, SegmentWithoutUsersInARunStillCompletesIt) {
  host.s.url = target.url("/size/10");
  host.s.users = 3;
  host.s.runs = 3;
  host.s.ramptest = true;
  engine.setsegment(3, 3);
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_THAT(logwith("No user of run "),
              ElementsAre("No user of run 1 belongs to segment 3 of 3",
                          "No user of run 2 belongs to segment 3 of 3"));
  EXPECT_THAT(logwith("Allocating Request "), ElementsAre("Allocating Request 3"));
  EXPECT_THAT(logwith("  Average Request Processing Time for "),
              ElementsAre("  Average Request Processing Time for 1 simultaneous users: # msec "
                          "(equals ~# requests/h)"));
  EXPECT_THAT(logwith("Data is being saved to "), IsEmpty());
  EXPECT_TRUE(haslog("Settings: segment 3 of 3: users 3, 6, 9 ... of every run"));
  ASSERT_EQ(charts.ramps().size(), 1u);
  EXPECT_EQ(charts.ramps()[0].users, 1);
}

// The first response of a test is its process's first user's, even when that is not user 1.
TEST_F(EngineTest, SegmentSavesTheFirstResponseOfItsOwnFirstUser) {
  writefile("temp.htm", "left over from an earlier test");
  host.s.url = target.url("/size/42");
  host.s.users = 4;
  engine.setsegment(2, 2);
  runtest();
  ASSERT_TRUE(host.finished);
  const std::string body = readfile(dir.file("temp.htm"));
  ASSERT_EQ(body.size(), 42u);
  // 42 pattern bytes in one line, which the view ends with CR LF.
  EXPECT_TRUE(haslog("Received 44 Bytes (1st request)"));
}
