#include "engine/StatusTally.h"

#include <gtest/gtest.h>

TEST(StatusTally, StartsWith200AndKeepsFirstOccurrenceOrder) {
  TStatusTally t;
  ASSERT_EQ(t.statuscodecount(), 1);
  EXPECT_EQ(t.statuscodes(1), 200);
  EXPECT_EQ(t.statuscounts(1), 0);
  for (int code : {302, 200, 404, 302}) t.statusadd(code);
  ASSERT_EQ(t.statuscodecount(), 3);
  EXPECT_EQ(t.statuscodes(1), 200);
  EXPECT_EQ(t.statuscounts(1), 1);
  EXPECT_EQ(t.statuscodes(2), 302);
  EXPECT_EQ(t.statuscounts(2), 2);
  EXPECT_EQ(t.statuscodes(3), 404);
  EXPECT_EQ(t.statuscounts(3), 1);
  EXPECT_EQ(t.errors(), 3);
  t.reset();
  EXPECT_EQ(t.statuscodecount(), 1);
  EXPECT_EQ(t.statuscounts(1), 0);
}

TEST(StatusTally, TimeoutsCountAsErrorsAndManyDistinctCodesFit) {
  TStatusTally t;
  t.statusadd(0);
  t.statusadd(0);
  EXPECT_EQ(t.statuscodes(2), 0);
  EXPECT_EQ(t.errors(), 2);
  // A status line may carry any three characters ("-99" ... "999"): more than 1000 distinct
  // codes must still be counted, not dropped or written past an array.
  for (int code = -99; code <= 999; ++code) t.statusadd(code);
  EXPECT_EQ(t.statuscodecount(), 1099);
  EXPECT_EQ(t.errors(), 2 + 1098);
}
