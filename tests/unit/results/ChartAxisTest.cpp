#include "results/ChartAxis.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<std::string> labels(const TAxisScale& s) {
  std::vector<std::string> out;
  for (const auto& t : s.ticks) out.push_back(t.label);
  return out;
}

}  // namespace

TEST(ChartAxis, NiceStepsAndTheirDecimals) {
  EXPECT_DOUBLE_EQ(nicestep(0.03), 0.05);
  EXPECT_DOUBLE_EQ(nicestep(0.3), 0.5);
  EXPECT_DOUBLE_EQ(nicestep(3), 5);
  EXPECT_DOUBLE_EQ(nicestep(1), 1);
  EXPECT_DOUBLE_EQ(nicestep(1.01), 2);
  EXPECT_DOUBLE_EQ(nicestep(120), 200);
  EXPECT_DOUBLE_EQ(nicestep(0.2, 1), 1);
  EXPECT_DOUBLE_EQ(nicestep(0), 1);
  EXPECT_EQ(stepdecimals(0.5), 1);
  EXPECT_EQ(stepdecimals(0.02), 2);
  EXPECT_EQ(stepdecimals(0.0001), 4);
  EXPECT_EQ(stepdecimals(5), 0);
  EXPECT_EQ(stepdecimals(2000), 0);
}

TEST(ChartAxis, LabelTexts) {
  EXPECT_EQ(ticklabel(0.1 + 0.2, 1), "0.3");
  EXPECT_EQ(ticklabel(-0.0, 2), "0.00");
  EXPECT_EQ(ticklabel(-1e-12, 0), "0");
  EXPECT_EQ(ticklabel(20000, 0, true), "20,000");
  EXPECT_EQ(ticklabel(1234567.5, 1, true), "1,234,567.5");
  EXPECT_EQ(ticklabel(999, 0, true), "999");
  EXPECT_EQ(ticklabel(-1500, 0, true), "-1,500");
}

// Ranges that used to label "0, 1, 1, 2" or all "0": every label distinct and the data covered.
TEST(ChartAxis, DistinctLabelsOverAnyRange) {
  for (double max : {0.5, 3.0, 1000.0, 20000.0, 0.0004, 7.3, 123456.0}) {
    for (int maxticks : {3, 5, 8, 12}) {
      const TAxisScale s = autoscale(0, max, maxticks);
      SCOPED_TRACE(std::to_string(max) + " in " + std::to_string(maxticks));
      EXPECT_LE(static_cast<int>(s.ticks.size()), maxticks);
      EXPECT_GE(s.ticks.size(), 2u);
      EXPECT_GE(s.max, max);
      EXPECT_EQ(s.min, 0);
      const auto l = labels(s);
      EXPECT_EQ(std::set<std::string>(l.begin(), l.end()).size(), l.size());
      for (size_t i = 1; i < s.ticks.size(); ++i) EXPECT_GT(s.ticks[i].value, s.ticks[i - 1].value);
    }
  }
  EXPECT_EQ(labels(autoscale(0, 0.5, 6)),
            (std::vector<std::string>{"0.0", "0.1", "0.2", "0.3", "0.4", "0.5"}));
  EXPECT_EQ(labels(autoscale(0, 3, 4)), (std::vector<std::string>{"0", "1", "2", "3"}));
  EXPECT_EQ(labels(autoscale(0, 20000, 5, {1, true})),
            (std::vector<std::string>{"0", "5,000", "10,000", "15,000", "20,000"}));
}

TEST(ChartAxis, FixedMinimumAndEmptyData) {
  // The right ramp axis starts at 1: 1 is labelled, then the multiples of the step.
  EXPECT_EQ(labels(autoscale(1, 40, 5)), (std::vector<std::string>{"1", "10", "20", "30", "40"}));
  // ... but not when it would crowd the first multiple.
  EXPECT_EQ(labels(autoscale(1, 9, 6)), (std::vector<std::string>{"2", "4", "6", "8", "10"}));
  // No data yet: one minimal step of range, never an empty or inverted axis.
  const TAxisScale none = autoscale(0, 0, 5);
  EXPECT_GT(none.max, none.min);
  const TAxisScale users = autoscale(0, 0, 5, {1, false});
  EXPECT_EQ(users.step, 1);
  // A count of users never gets half steps.
  for (const auto& t : autoscale(0, 3, 20, {1, false}).ticks)
    EXPECT_EQ(t.label.find('.'), std::string::npos);
}

// An axis too short for any step: the scale stops at the first step that covers the data, so its
// labels stay values near the data (a 10-pixel axis once read 100000000000000000000).
TEST(ChartAxis, NothingFitsStopsAtOneStepOverTheData) {
  const auto never = [](const TAxisScale&) { return false; };
  for (double max : {0.0, 0.0004, 0.5, 77.0, 20000.0, 1e6}) {
    for (double min : {0.0, 1.0}) {
      SCOPED_TRACE(std::to_string(min) + " .. " + std::to_string(max));
      const TAxisScale s = autoscale(min, max, {}, never);
      EXPECT_GE(s.max, max);
      EXPECT_LE(s.max - s.min, 2 * std::max(max - min, s.step));
      EXPECT_LE(s.ticks.size(), 3u);
      EXPECT_LT(s.ticks.back().label.size(), 12u);
    }
  }
  EXPECT_EQ(labels(autoscale(0, 77, {}, never)), (std::vector<std::string>{"0", "100"}));
}
