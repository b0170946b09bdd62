#pragma once
// The summary of one run, from its request records: the figures every output reports (counts,
// rates, order statistics) and the lines the logs and the request chart's foot show for it, with
// its ramp points. The engine ends each run through it, and the merge, a result read back, the
// JSON, the HTML report and the thresholds take their figures from it, so they all agree.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "results/Percentiles.h"
#include "results/RequestRecords.h"

struct TRunFigures {
  int run = 0;  // from 1, as the logs count runs
  int users = 0;
  bool aborted = false;
  size_t requests = 0;
  size_t ok = 0;        // answered 200
  size_t timeouts = 0;  // ended without a status line (status 0)
  // Requests the operator's abort ended (socket code 3): not the server's doing, so neither an
  // error nor part of the error rate.
  size_t abortedrequests = 0;
  // Requests this machine failed itself (no descriptor, no local port, no buffer memory): they
  // never reached the server, so they are neither an error nor part of the error rate either.
  size_t clienterrors = 0;
  size_t errors = 0;         // the other requests whose status is not 200 (time-outs included)
  double errorrate = 0;      // errors / (requests - abortedrequests - clienterrors), percent
  double overallms = 0;      // run start to its last completion
  double avgprocessing = 0;  // overall time / users
  double requestsperhour = 0;
  double avgwait = 0;  // mean user wait time of this run's requests
  int64_t bytes = 0;
  double throughput = 0;  // kB (1000 bytes) per second of overall time
  TPercentiles wait, firstbyte;
  // The server's own time from kernel stamps, to the response's last and first byte; only the
  // requests the kernel stamped count.
  TPercentiles server, serverttfb;
  // The connection's phases (connect, TLS handshake); only the requests that had them count.
  TPercentiles connect, tls;
  // (code, requests) in the order the codes first occurred; socket code 0 is a clean completion.
  std::vector<std::pair<int, size_t>> statuses, socketcodes;
};

// The figures of run r: its users, overall time and abort as the records say, every request
// counted and classed.
TRunFigures runfigures(const TRunRecords& r);
// Adds n requests with code to a (code, requests) tally kept in the order codes first occur.
void countcode(std::vector<std::pair<int, size_t>>& tally, int code, size_t n = 1);
// The rates that follow from the counts and sums already in f; waitsum is its requests' waits.
void deriverates(TRunFigures& f, double waitsum);

// What a run's lines carry over from the runs before it in the same test.
struct TRunsSoFar {
  long double waitsum = 0, requestscounted = 0;  // every request of the test so far
  // The processing times of the runs in the "all runs" mean; a ramp step starts them anew.
  long double runtimesum = 0, runscounted = 0;
};

struct TRunSummary {
  TRunFigures figures;
  // The lines are empty for a run that was aborted or had no user: such a run is not summed up.
  std::vector<std::string> log;      // the detailed log's lines, "Resulting statuscodes:" on
  std::vector<TResultLine> results;  // the "Results" view's lines
  std::array<std::string, 4> foot;   // the request chart's foot lines as the run leaves them
  // The run's points on the ramp chart, a ramp step's only: its processing time with the error
  // label, and its mean wait.
  std::optional<TRampPoint> ramp, rampwait;
};

// The summary of run r. ramp: r is a ramp step, whose foot lines and points give its own means.
// foot: the request chart's foot lines as they stand before the run. sofar takes the run in.
// perhour: the requests/h of foot line 2's mean as a stored result says it; below 0: worked out.
TRunSummary runsummary(const TRunRecords& r, bool ramp, const std::array<std::string, 4>& foot,
                       TRunsSoFar& sofar, long double perhour = -1);

// Writes a summary's "Results" lines, foot lines and ramp points into the views (its detailed log
// lines are the caller's: only a test that ran has a "Log").
void showsummary(const TRunSummary& s, TLogModel& logs, TChartModel& charts);
