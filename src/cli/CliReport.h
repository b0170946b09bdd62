#pragma once
// --report: the outputs of a stored or merged result written again without a test, and the
// comparison with --baseline that a test, a merge and a stored result share.

#include <string>
#include <vector>

#include "cli/CliJob.h"

// Returns the exit status, as a merge does.
int runreport(const TCliJob& job);

struct TBaselineReport {
  bool compared = false;  // false without --baseline, or when the result cannot be read back
  std::string json;       // the result's JSON with its "baseline" member
  std::string text;       // printed after the "Results" text
  std::string html;       // the HTML report's section
  std::vector<std::string> regressed;  // what got worse than --max-regression allows
};

// json: the finished result's JSON, as jsonreport wrote it. Both sides are compared as read back
// from their JSON, so with the same rounding and the same figures (server times included).
TBaselineReport baselinereport(const TCliJob& job, const std::string& json);

// False after one line on stderr naming each figure that got worse than --max-regression allows.
bool withinregression(const TCliJob& job, const TBaselineReport& b);
