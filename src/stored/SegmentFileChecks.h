#pragma once
// Whether the parts of a result read back fit together: each value was checked against its range
// as it was read; these checks hold rows against each other, against their run and against the
// figures stored beside them, so a file that could not have come from a test is refused.

#include <string>

#include "stored/SegmentFile.h"

struct TFileProblem {
  std::string field, reason;  // empty field: none
};

// Rows: a first byte or a server time later than the wait, requests outside their run, runs
// that overlap or start long after the test did. The test: a test not aborted holds every run.
// Stored figures: the
// averages and rates the rows give (to the rounding they were written with), and an error rate
// no higher than the rows allow.
TFileProblem fileproblem(const TSegmentFile& f);
