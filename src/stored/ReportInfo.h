#pragma once
// What every result file says about the test besides its records: which test it was, when it
// started, how it was set up and whether it was cut short.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/TestSettings.h"

struct TReportInfo {
  std::string testid;  // unique per test, so results of the same test can be matched
  std::string program = "pressbolt-cli";  // which of our programs wrote the result
  std::string started;                    // UTC, ISO 8601 ("2026-12-07T10:00:00Z")
  bool aborted = false;
  TestSettings settings;          // the password is never written anywhere
  std::vector<std::string> urls;  // the multiple-URL list, when the test took its URLs from it
  // A result read back holds the POST body's length, not the body: that length (-1: a test run
  // here, whose body is settings.postdata).
  int64_t postbytes = -1;
  // What a merge of a split test needs: which segment this is, when its test clock started on
  // the wall clock (ms since 1970, to the microsecond), the load generator's description, and
  // the first response's length in characters and its body's bytes (-1: none here).
  int segment = 1, segments = 1;
  double epochms = 0;
  std::vector<std::string> clientsystem;
  int64_t firstresponselength = -1;
  int64_t firstresponsebytes = -1;
  // A merged result: how many segments it was merged from, and per run how far apart their
  // run starts were (ms).
  int mergedsegments = 0;
  std::vector<double> startspreadms;
  // Further top-level members of the JSON, each value as JSON text (a segment's "clock" ...),
  // and per run (index from 0) a JSON object whose members join that run's.
  std::vector<std::pair<std::string, std::string>> members;
  std::vector<std::string> runmembers;
  // A merge of some segments only: what is missing, for a banner (empty: the whole test).
  std::string partial;
};

// A fresh test id: the UTC start time and 32 random bits, e.g. "20261207T100000Z-3fa9c2d1".
std::string newtestid();
// The current time, UTC, ISO 8601 to the second.
std::string utcnow();
