#pragma once
// The figures of each run and of the whole test, computed from the per-request records: what the
// "Results" view says about a run, plus the order statistics of the wait and first-byte times.
// The JSON, the HTML report and the thresholds all read these, so they always agree.

#include <cstdint>
#include <utility>
#include <vector>

#include "results/Percentiles.h"
#include "results/RequestRecords.h"

struct TRunFigures {
  int run = 0;  // from 1, as the logs count runs
  int users = 0;
  bool aborted = false;
  size_t requests = 0;
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

struct TTestFigures {
  std::vector<TRunFigures> runs;
  TRunFigures totals;  // every request of the test; run 0, users the sum over runs
};

TRunFigures runfigures(const TRunRecords& r);
TTestFigures testfigures(const TRequestRecords& records);
