#pragma once
// How far a load generator's wall clock can be trusted: the kernel's own account of its clock
// discipline (adjtimex), which every segment records, so that a merge can tell a real start
// spread from one that unsynchronised clocks hide.

#include <string>
#include <vector>

struct TClockState {
  bool known = false;         // the kernel answered
  bool synchronised = false;  // a time daemon disciplines the clock (no STA_UNSYNC)
  double maxerrorms = 0;      // the kernel's maximum error bound, ms
  double esterrorms = 0;      // its estimated error, ms
};

// This machine's clock state now, read without changing anything (no privilege needed).
TClockState clockstate();

// The "clock" member of a segment's JSON: {"synchronised":…, "max_error_ms":…, "est_error_ms":…},
// or {"synchronised":null} when the kernel did not answer.
std::string clockjson(const TClockState& c);

// The clock of one segment as its JSON holds it (a result without a "clock" member has none).
struct TSegmentClock {
  int segment = 0;
  TClockState clock;
};

// What a merge says of its segments' clocks: "Segment clocks: synchronised, worst maximum error
// E ms (segment I)"; then one warning line per segment whose clock was not synchronised or could
// not be read. Empty for an empty list.
std::vector<std::string> clocklines(const std::vector<TSegmentClock>& clocks);
