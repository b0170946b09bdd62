#pragma once
// What a segment of a split test adds to a run of pressbolt-cli: the warning when its result
// would not fit a container log, the runs fired at instants shared by every segment, its clock
// and each run's lateness in its JSON, and its result framed for a log on stdout.

#include <optional>
#include <string>

#include "cli/CliJob.h"
#include "segments/ClockState.h"
#include "segments/RunSchedule.h"
#include "stored/ReportInfo.h"

class TEventLoop;
class TLoadEngine;

class TCliSegment {
 public:
  explicit TCliSegment(const TCliJob& job);

  // Before the wait for the start: says on stderr when the framed result may outgrow a default
  // container log and how the runs are timed, and sets engine to fire runs 2+ at their instants.
  void prepare(TLoadEngine& engine, TEventLoop& loop);
  // Run 1 is being fired now: reads the clock and notes how late run 1 is.
  void started();
  // Adds the clock, the run schedule and each run's lateness to a segment's JSON.
  void describe(TReportInfo& info) const;
  // The bytes that go to stdout for --json -: the framed result in a split test, else json.
  std::string stdoutresult(const TReportInfo& info, const std::string& json) const;

 private:
  const TCliJob& job_;
  std::optional<TRunSchedule> schedule_;
  TClockState clock_;
};
