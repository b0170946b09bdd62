// The options a request's log lines follow (its header lines, its chunks, and whether run 1 keeps
// its cookies): the host's as they are when a run starts, and again whenever the host says they
// changed; never asked of the host for each header line or chunk.

#include <algorithm>

#include "EngineFixture.h"

TEST_F(EngineTest, ARunKeepsTheOptionsItStartedWithUnlessTheHostSaysTheyChanged) {
  host.s.url = target.url("/size/5");
  host.s.users = 2;
  // Switched on once every request is out and before any answer has been read.
  host.onstartloop = [&] { host.s.writeheaders = true; };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_FALSE(haslog("Headers: HTTP/1.0 200 OK"));
  EXPECT_EQ(host.optionreads, 0);
}

TEST_F(EngineTest, AChangeTheHostSaysOfTakesEffectForTheRequestsStillOut) {
  host.s.url = target.url("/size/5");
  host.s.users = 2;
  host.onstartloop = [&] {
    host.s.writeheaders = true;
    host.s.writedata = true;
    engine.optionschanged();
  };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(logwith("Headers: HTTP/1.0 200 OK").size(), 2u);
  // A dashed line above and below each body.
  const std::vector<std::string> lines = maskedlog();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "TS: " + std::string(42, '-')), 4);
  EXPECT_EQ(host.optionreads, 1);
}

TEST_F(EngineTest, EachRunTakesTheOptionsAsTheyAreAtItsStart) {
  host.s.url = target.url("/size/5");
  host.s.runs = 2;
  // Run 1 has completed: run 2 is launched after this.
  host.onrunend = [&] { host.s.writeheaders = true; };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(logwith("Headers: HTTP/1.0 200 OK").size(), 1u);
  EXPECT_EQ(host.optionreads, 0);
}
