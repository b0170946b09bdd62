#pragma once
// When each run of a split test fires: run r at the start instant plus (r - 1) intervals, the same
// wall-clock instants in every segment, rather than after each process's own previous run, so
// that a segment delayed in one run does not spread the later runs. A segment still busy at an
// instant fires as soon as it is free and records how late that was.

#include <cstdint>
#include <string>
#include <vector>

// The interval a test gets when none is given: the wait between runs plus this allowance for a
// run itself. The tool cannot know a run's length before it ran, so it says what it chose.
inline constexpr int64_t kRunAllowanceMs = 30000;

// The interval for a test whose wait between runs is waitseconds and which gave none.
int64_t derivedinterval(int waitseconds);

class TRunSchedule {
 public:
  TRunSchedule(int64_t startms, int64_t intervalms, bool derived)
      : start_(startms), interval_(intervalms), derived_(derived) {}

  int64_t instant(int run) const { return start_ + (run - 1) * interval_; }
  int64_t interval() const { return interval_; }

  // Milliseconds from nowms (epoch ms) until run's instant, rounded up; 0 when it has passed, in
  // which case the run is noted as late by the difference.
  uint64_t delay(int run, double nowms);
  // Notes that run fired at nowms: late by its distance past the instant (0 when on time).
  void fired(int run, double nowms);
  // How late each run fired, ms, run 1 first; runs not yet fired are absent.
  const std::vector<double>& late() const { return late_; }

  // "Runs fire every S s from the start at TIME" with "(derived: ...)" when none was given.
  std::string statement() const;
  // The "run_schedule" member of a segment's JSON.
  std::string json() const;

 private:
  void note(int run, double latems);
  int64_t start_, interval_;
  bool derived_;
  std::vector<double> late_;
};

// "Run r: segment I fired L ms late" for every run that some segment fired later than 1 ms after
// its instant; late[s][r - 1] is segment s + 1's lateness in run r.
std::vector<std::string> latelines(const std::vector<std::vector<double>>& late);
