// The options that place a process in a split test: its segment and the common start instant.

#include <gtest/gtest.h>

#include "net/EventLoop.h"
#include "segments/SegmentOption.h"
#include "segments/StartTime.h"

TEST(SegmentOption, ParsesIOfKAndRefusesTheRest) {
  TSegmentChoice c;
  std::string error;
  ASSERT_TRUE(parsesegment("2/4", c, error));
  EXPECT_EQ(c.segment, 2);
  EXPECT_EQ(c.segments, 4);
  ASSERT_TRUE(parsesegment("1/1", c, error));
  for (const char* bad : {"0/4", "5/4", "1/0", "2", "/4", "2/", "-1/4", "+2/4", "2/4x", " 2/4",
                          "0x2/4", "2/99999999999"}) {
    EXPECT_FALSE(parsesegment(bad, c, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  parsesegment("5/4", c, error);
  EXPECT_EQ(error, "\"5/4\": the segment number must be 1 to 4");
}

TEST(SegmentOption, IndexedJobIndexIsZeroBased) {
  TSegmentChoice c;
  std::string error;
  ASSERT_TRUE(segmentfromindex(4, "0", c, error));
  EXPECT_EQ(c.segment, 1);
  ASSERT_TRUE(segmentfromindex(4, "3", c, error));
  EXPECT_EQ(c.segment, 4);
  EXPECT_EQ(c.segments, 4);
  EXPECT_FALSE(segmentfromindex(4, "4", c, error));
  EXPECT_FALSE(segmentfromindex(4, "", c, error));
  EXPECT_FALSE(segmentfromindex(4, "-1", c, error));
  EXPECT_FALSE(segmentfromindex(0, "0", c, error));
  EXPECT_FALSE(segmentfromindex(4, nullptr, c, error));
  EXPECT_NE(error.find("JOB_COMPLETION_INDEX"), std::string::npos);
}

TEST(StartTime, ParsesRfc3339AndEpochMilliseconds) {
  struct {
    const char* text;
    int64_t ms;
  } cases[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2026-12-07T10:30:00Z", 1796639400000},
      {"2026-12-07t10:30:00.25z", 1796639400250},
      {"2026-12-07 11:30:00.123456+01:00", 1796639400123},
      {"2026-12-07T05:00:00-05:30", 1796639400000},
      {"2024-02-29T00:00:00Z", 1709164800000},
      {"1796639400250", 1796639400250},
  };
  for (const auto& c : cases) {
    int64_t ms = -1;
    std::string error;
    EXPECT_TRUE(parsestarttime(c.text, ms, error)) << c.text << ": " << error;
    EXPECT_EQ(ms, c.ms) << c.text;
  }
  for (const char* bad :
       {"", "2026-12-07T10:30:00", "2026-12-07", "2026-13-01T00:00:00Z", "2025-02-29T00:00:00Z",
        "2026-12-07T24:00:00Z", "2026-12-07T10:30:00.Z", "2026-12-07T10:30:00+1:00",
        "2026-12-07T10:30:00Z ", "-5", "1.5e12", "99999999999999999999", "now"}) {
    int64_t ms = 0;
    std::string error;
    EXPECT_FALSE(parsestarttime(bad, ms, error)) << bad;
    EXPECT_NE(error.find("RFC 3339"), std::string::npos);
  }
  EXPECT_EQ(rfc3339(1796639400250), "2026-12-07T10:30:00.250Z");
}

TEST(StartTime, RefusesAStartMoreThanASecondAgo) {
  const int64_t now = 1796639400000;
  EXPECT_EQ(startinpast(now + 5000, now), "");
  EXPECT_EQ(startinpast(now - 1000, now), "");
  EXPECT_EQ(startinpast(now - 1001, now),
            "2026-12-07T10:29:58.999Z is 1 s in the past; give a time that all segments can "
            "still meet");
  EXPECT_NE(startinpast(1796639400, now).find("not seconds"), std::string::npos);
}

TEST(StartTime, RefusesAStartMoreThanADayAhead) {
  const int64_t now = 1796639400000;
  const int64_t day = 24 * 3600 * 1000;
  EXPECT_EQ(starttoofar(now + day, now), "");
  EXPECT_EQ(starttoofar(now + 5000, now), "");
  EXPECT_EQ(starttoofar(now + day + 1, now),
            "2026-12-08T10:30:00.001Z is more than a day (24 h) ahead, the furthest a start may "
            "lie");
  // 2099 as epoch milliseconds: the sum must not overflow into a start in the past.
  EXPECT_NE(starttoofar(4070908800000, now), "");
}

TEST(StartTime, WaitsForTheInstantOrStopsWhenCancelled) {
  TEventLoop loop;
  const int64_t at = epochmsnow() + 150;
  EXPECT_TRUE(waituntil(loop, at, nullptr));
  EXPECT_GE(epochmsnow(), at);

  int passes = 0;
  const int64_t far = epochmsnow() + 60000;
  EXPECT_FALSE(waituntil(loop, far, [&] { return ++passes > 2; }));
  EXPECT_LT(epochmsnow(), far - 55000);
  EXPECT_EQ(loop.Close(), 0);
}
