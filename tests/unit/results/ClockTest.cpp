// The millisecond clock and the numbers of the resolution line.

#include "results/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace {

const std::string micro = "\xC2\xB5";  // U+00B5 in UTF-8

TEST(Clock, ResolutionLineForCommonFrequencies) {
  EXPECT_EQ(resolutionline(3579545, '.'), "Time measurement resolution: 0.279365 " + micro +
                                              "sec (=1/1000 msec), clock runs at 4MHz");
  EXPECT_EQ(resolutionline(1000000000, '.'), "Time measurement resolution: 0.001 " + micro +
                                                 "sec (=1/1000 msec), clock runs at 1000MHz");
  // 2.5 MHz rounds half to even; 0.4 µs has no trailing zeros.
  EXPECT_EQ(resolutionline(2500000, ','),
            "Time measurement resolution: 0,4 " + micro + "sec (=1/1000 msec), clock runs at 2MHz");
  EXPECT_EQ(resolutionline(1000000, '.'),
            "Time measurement resolution: 1 " + micro + "sec (=1/1000 msec), clock runs at 1MHz");
}

TEST(Clock, ResolutionLineWithoutCounterDoesNotDivideByZero) {
  EXPECT_EQ(resolutionline(0, '.'), "Time measurement resolution: 1000 " + micro +
                                        "sec (=1/1000 msec), clock runs at 0MHz "
                                        "(millisecond tick count)");
  EXPECT_EQ(resolutionline(-5, '.'), resolutionline(0, '.'));
}

// The environment's locale, set for one test and put back after it.
class TLocaleEnvironment {
 public:
  TLocaleEnvironment(const std::string& locpath, const std::string& all) {
    for (const char* name : {"LOCPATH", "LC_ALL"}) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    setenv("LOCPATH", locpath.c_str(), 1);
    setenv("LC_ALL", all.c_str(), 1);
  }
  ~TLocaleEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(Clock, ResolutionLineUsesTheSeparatorOfTheUsersLocale) {
  TTempDir dir;
  // A locale with a decimal comma, compiled for this test alone.
  const std::string make =
      "localedef -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") + "' > /dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef or its sources are missing";
  {
    TLocaleEnvironment german(dir.path(), "de_DE.UTF-8");
    EXPECT_EQ(localedecimalpoint(), ',');
    EXPECT_EQ(resolutionline(2500000), "Time measurement resolution: 0,4 " + micro +
                                           "sec (=1/1000 msec), clock runs at 2MHz");
    EXPECT_EQ(formatshortest(1.5L, 3), "1,5");
  }
  {
    TLocaleEnvironment classic(dir.path(), "C");
    EXPECT_EQ(localedecimalpoint(), '.');
    EXPECT_EQ(formatshortest(1.5L, 3), "1.5");
  }
  // A locale name nobody has: the classic separator, not a failure.
  TLocaleEnvironment unknown(dir.path(), "xx_XX.nothing");
  EXPECT_EQ(localedecimalpoint(), '.');
}

TEST(Clock, FormatShortest) {
  struct {
    long double value;
    int decimals;
    const char* text;
  } cases[] = {
      {1234.5678L, 3, "1234.568"},
      {12.0L, 3, "12"},
      {0.0004L, 3, "0"},
      {-0.0004L, 3, "0"},
      {-2.25L, 3, "-2.25"},
      {0.0625L, 3, "0.062"},  // exact half
      {0.1875L, 3, "0.188"},
      {100.0L, 0, "100"},
      {2.5L, 0, "2"},
      {1e20L, 3, "100000000000000000000"},
      {0.000001L, 6, "0.000001"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatshortest(c.value, c.decimals, '.'), c.text) << c.text;
  EXPECT_EQ(formatshortest(3.14159L, 2, ','), "3,14");
}

// Restores the clock fields a test changes, since they are program-wide.
struct TClockGuard {
  int64_t base = clockbase, frequency = clockfrequency;
  ~TClockGuard() {
    clockbase = base;
    clockfrequency = frequency;
  }
};

TEST(Clock, ElapsedIsNonNegativeAndMonotonicAfterStart) {
  TClockGuard guard;
  int64_t before = clockcounter();
  startclock();
  long double first = elapsedms();
  int64_t after = clockcounter();
  EXPECT_EQ(clockfrequency, 1000000000);
  EXPECT_GE(clockbase, before);
  EXPECT_LE(clockbase, after);
  EXPECT_GE(first, 0.0L);
  EXPECT_LE(first, (after - before) / 1e6L);
  long double previous = first;
  for (int i = 0; i < 1000; ++i) {
    long double now = elapsedms();
    ASSERT_GE(now, previous);
    previous = now;
  }
}

TEST(Clock, ElapsedIsCounterDifferenceOverFrequencyInMilliseconds) {
  TClockGuard guard;
  for (int64_t frequency : {int64_t(1000000000), int64_t(2000000000), int64_t(3579545)}) {
    clockfrequency = frequency;
    clockbase = clockcounter() - 3000000000;  // 3e9 counts ago
    int64_t before = clockcounter();
    long double ms = elapsedms();
    int64_t after = clockcounter();
    EXPECT_GE(ms, static_cast<long double>(before - clockbase) / frequency * 1000) << frequency;
    EXPECT_LE(ms, static_cast<long double>(after - clockbase) / frequency * 1000) << frequency;
  }
}

TEST(Clock, FallbackWithoutFrequencyReturnsTheTickCount) {
  TClockGuard guard;
  clockfrequency = 0;
  clockbase = 123456789;  // ignored by the fallback
  uint32_t before = tickcount();
  long double ms = elapsedms();
  uint32_t after = tickcount();
  EXPECT_EQ(ms, static_cast<long double>(static_cast<uint32_t>(ms)));  // whole milliseconds
  if (before <= after) {                                               // not across the 32-bit wrap
    EXPECT_GE(ms, before);
    EXPECT_LE(ms, after);
  }
}

}  // namespace
