#pragma once
// The instant at which every segment of a test fires run 1: an absolute wall-clock time, given as
// RFC 3339 ("2026-12-07T10:30:00Z", "2026-12-07T11:30:00.250+01:00") or as epoch milliseconds.

#include <cstdint>
#include <functional>
#include <string>

class TEventLoop;

// Milliseconds since 1970-01-01T00:00:00Z, from the system's wall clock; the second one keeps
// the fraction (to the microsecond).
int64_t epochmsnow();
double preciseepochms();

// Parses text into epoch milliseconds (fractions below a millisecond are dropped). False with a
// one-line reason in error when it is neither form.
bool parsestarttime(const std::string& text, int64_t& epochms, std::string& error);

// Empty when at may still be waited for at now; otherwise the reason: a start more than a second
// in the past cannot be met together with the other segments.
std::string startinpast(int64_t at, int64_t now);

// The furthest ahead a start may lie: a later one is a typo rather than a plan, and would keep a
// load generator waiting for days.
inline constexpr int64_t kMaxStartAheadMs = int64_t(24) * 3600 * 1000;

// Empty when at lies at most kMaxStartAheadMs after now; otherwise the reason, naming the limit.
std::string starttoofar(int64_t at, int64_t now);

// at as RFC 3339 in UTC with milliseconds, e.g. "2026-12-07T10:30:00.250Z".
std::string rfc3339(int64_t epochms);

// The second of epochms as the results' "started" says it, e.g. "2026-12-07T10:30:00Z": the
// fraction is dropped, never rounded up or taken from another clock.
std::string utcsecond(double epochms);

// Runs loop until the wall clock reaches at, then returns true; the last millisecond is slept
// precisely. Returns false as soon as cancelled() is true after a pass of the loop (a signal
// handler ran), without waiting further.
bool waituntil(TEventLoop& loop, int64_t at, const std::function<bool()>& cancelled);
