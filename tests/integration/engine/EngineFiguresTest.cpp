// The figures a run's summary shows against the requests it was made of: each run's own mean
// wait, the mean over all runs, and the requests this machine failed itself.

#include <gmock/gmock.h>
#include <sys/resource.h>

#include <cmath>

#include "EngineFixture.h"
#include "engine/RunText.h"
#include "engine/StartLimits.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

long double mean(const std::vector<long double>& waits) {
  long double sum = 0;
  for (long double w : waits) sum += w;
  return sum / static_cast<long double>(waits.size());
}

std::string msec(long double v) {
  return std::to_string(static_cast<long long>(std::rint(v)));
}

}  // namespace

// Run 2 waits 60 ms longer than run 1: under "Average Results of this Run:" each run shows its
// own mean, while the lines of all runs average every request of both.
TEST_F(EngineTest, EachRunShowsItsOwnMeanWaitAndAllRunsTheMeanOfEveryRequest) {
  host.s.url = target.url("/size/10");
  host.s.users = 3;
  host.s.runs = 2;
  host.onrunend = [this] { host.s.url = target.url("/delay?ms=60"); };
  runtest();
  ASSERT_TRUE(host.finished);
  ASSERT_EQ(host.runs.size(), 2u);
  const long double run1 = mean(host.runs[0]), run2 = mean(host.runs[1]);
  std::vector<long double> every = host.runs[0];
  every.insert(every.end(), host.runs[1].begin(), host.runs[1].end());
  ASSERT_GE(run2, 60);
  const std::string wait = "  Average User Wait Time: ";
  const std::string users = " msec for 3 simultaneous users";
  std::vector<std::string> lines;
  for (const auto& l : logs.loglines()) {
    if (l.find(wait) != std::string::npos) lines.push_back(l.substr(l.find(wait)));
  }
  // This run's, then all runs' so far: run 1's twice, then run 2's and both runs'.
  EXPECT_THAT(lines, ElementsAre(wait + msec(run1) + users, wait + msec(run1) + users,
                                 wait + msec(run2) + users, wait + msec(mean(every)) + users));
  EXPECT_EQ(charts.foot()[3], wait + msec(mean(every)) + users);
}

// Each ramp step plots its own mean wait, as its request time is its own.
TEST_F(EngineTest, RampStepsPlotAndShowTheirOwnMeanWait) {
  host.s.url = target.url("/size/10");
  host.s.users = 6;
  host.s.runs = 3;
  host.s.ramptest = true;
  host.onrunend = [this] {
    host.s.url = target.url("/delay?ms=" + std::to_string(30 * host.runs.size()));
  };
  runtest();
  ASSERT_TRUE(host.finished);
  ASSERT_EQ(host.runs.size(), 3u);
  ASSERT_EQ(charts.rampwaits().size(), 3u);
  // The step's waits as its records hold them: to a double's precision, as in every output and
  // in the result read back.
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_DOUBLE_EQ(static_cast<double>(charts.rampwaits()[k].y),
                     static_cast<double>(mean(host.runs[k])))
        << "step " << k + 1;
  }
  EXPECT_EQ(charts.foot()[3], "  Average User Wait Time: " + msec(mean(host.runs[2])) +
                                  " msec for 6 simultaneous users");
}

// With fewer descriptors than users, the start says so once, and the run's summary counts the
// requests that found none apart from the server's answers.
TEST_F(EngineTest, DescriptorsShortOfTheUsersAreWarnedOfAndCountedAsClientErrors) {
  host.s.url = target.url("/size/10");
  host.s.users = 60;
  host.s.ramptest = false;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const TMachineLimits before = machinelimits();
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(before.fdsopen + 30);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  runtest();
  setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_TRUE(host.finished);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_THAT(host.warnings[0], HasSubstr("60 simultaneous users need a descriptor each, but the "
                                          "open-files limit of " +
                                          std::to_string(low.rlim_cur) + " (ulimit -n)"));
  EXPECT_EQ(logwith("Warning: ").size(), 1u);
  int full = 0;
  for (const auto& l : logs.loglines()) full += l.find("Socketcode = 10024") != std::string::npos;
  ASSERT_GT(full, 0);
  const std::string line = clienterrorline(full, 60);
  std::vector<std::string> results;
  for (const auto& l : logs.resultlines()) results.push_back(l.text);
  EXPECT_THAT(results, ::testing::Contains(line));
  EXPECT_TRUE(haslog(line));
}
