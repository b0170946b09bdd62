#pragma once
// What every result file says about the test besides its records: which test it was, when it
// started, how it was set up and whether it was cut short.

#include <string>
#include <vector>

#include "engine/TestSettings.h"

struct TReportInfo {
  std::string testid;   // unique per test, so results of the same test can be matched
  std::string started;  // UTC, ISO 8601 ("2026-12-07T10:00:00Z")
  bool aborted = false;
  TestSettings settings;          // the password is never written anywhere
  std::vector<std::string> urls;  // the multiple-URL list when settings.multipleurls
};

// A fresh test id: the UTC start time and 32 random bits, e.g. "20261207T100000Z-3fa9c2d1".
std::string newtestid();
// The current time, UTC, ISO 8601 to the second.
std::string utcnow();
