// The server time of one exchange from its kernel stamps: the wall-clock stamps map onto the
// monotonic departure, and whatever the kernel did not stamp stays null rather than 0.

#include <gtest/gtest.h>

#include "engine/ServerTime.h"

TEST(ServerTime, MapsTheWallClockStampsOntoTheDeparture) {
  THttpCli::TWireTimes w;
  const int64_t offset = 1700000000LL * 1000000000;  // wall clock minus monotonic clock
  w.stamping = true;
  w.sendbegan = 4999990000;                     // monotonic
  w.sent = 5000000000;                          // the call returned 10 us later
  w.firstrx = offset + w.sendbegan + 1500000;   // 1.5 ms later, on the wall clock
  w.lastrx = offset + w.sendbegan + 100250000;  // 100.25 ms later
  TServerTime t = servertime(w, offset);
  EXPECT_DOUBLE_EQ(double(t.ttfb), 1.5);
  EXPECT_DOUBLE_EQ(double(t.server), 100.25);
}

TEST(ServerTime, NullWhereTheKernelGaveNothingOrTheClocksDisagree) {
  THttpCli::TWireTimes good;
  good.stamping = true;
  good.sendbegan = 500;
  good.sent = 1000;
  good.firstrx = 2000000;
  good.lastrx = 3000000;
  ASSERT_GE(servertime(good, 0).server, 0);
  auto null = [](const TServerTime& t) { return t.server < 0 && t.ttfb < 0; };
  THttpCli::TWireTimes w = good;
  w.unstamped = true;  // one read of the response came without a stamp
  EXPECT_TRUE(null(servertime(w, 0)));
  w = good;
  w.firstrx = w.lastrx = 0;  // nothing arrived
  EXPECT_TRUE(null(servertime(w, 0)));
  w = good;
  w.sent = 0;  // nothing left
  EXPECT_TRUE(null(servertime(w, 0)));
  // A wall clock stepped back between the offset's sample and the stamp: no negative time.
  EXPECT_TRUE(null(servertime(good, 2500000)));
  // An answer stamped while the send call was still returning (the server read the request
  // while our client was held up inside the call) counts from the call's start, never as 0 or
  // less than the server took.
  w = good;
  w.firstrx = 800;
  TServerTime quick = servertime(w, 0);
  EXPECT_DOUBLE_EQ(double(quick.ttfb), (800 - 500) / 1e6);
  EXPECT_DOUBLE_EQ(double(quick.server), (3000000 - 500) / 1e6);
}
