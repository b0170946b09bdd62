#pragma once
// Which share of a test this process fires: segment I of K. Given as "I/K" on the command line,
// or as K with the 0-based pod index that a Kubernetes Indexed Job puts in JOB_COMPLETION_INDEX.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/TestSettings.h"

// More segments than this is a typing error, not a test.
constexpr int kMaxSegments = 10000;

struct TSegmentChoice {
  int segment = 1;   // 1 .. segments
  int segments = 1;  // 1 = the whole test
};

// "I/K" with 1 <= I <= K <= kMaxSegments, both decimal. False with a one-line reason in error.
bool parsesegment(const std::string& text, TSegmentChoice& out, std::string& error);

// K segments, this one from a 0-based index as the Indexed Job gives it (index + 1). index may be
// null (the variable is not set). False with a one-line reason in error.
bool segmentfromindex(int segments, const char* index, TSegmentChoice& out, std::string& error);

// Requests segment `segment` of `segments` sends in the whole test s: its share of every run's
// users (of a ramp test's growing runs too).
int64_t plannedrequests(const TestSettings& s, int segment, int segments);

// The test id that every segment of one split test derives alike, with no word between them: the
// start instant ("unscheduled" without one) and a hash of the test's settings and of K, e.g.
// "20261207T103000.000Z-k4-9c3e21aa".
std::string segmenttestid(const std::string& settings, int segments,
                          std::optional<int64_t> startat);
