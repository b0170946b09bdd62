#pragma once
// The texts that sum up a run in the logs and on the request chart's foot, from its figures. The
// run summary (RunSummary.h) puts them together; the engine and the merge of stored results
// both write a run through it.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// " (equals ~N requests/h)" for a mean request time in msec; "" for a mean of 0, which has no
// rate (dividing by it would print the smallest 64-bit number).
std::string perhour(long double meanmsec);
// "Time to first byte: ~" ms " msec"
std::string firstbyteline(long double ms);
// "Resulting statuscodes: " then count x"code" (=text), for every (code, count) in tally order.
std::string statussummary(const std::vector<std::pair<int, size_t>>& tally);
// Foot line 2 of a ramp step: "  Average Request Processing Time for " users ...; perhour is the
// requests/h as stored, or below 0 to work it out from mean.
std::string rampfoot(int users, long double mean, long double perhour = -1);
// Foot line 2 after runs runs: "  Average Request Processing Time after " runs " runs: " ...
std::string runsfoot(long double runs, long double mean, long double perhour = -1);
// Foot line 3: "  Average User Wait Time: " wait " msec for " users " simultaneous users"
std::string waitfoot(long double avgwait, int users);
// A ramp point's label: "ok", or the server's errors in percent of the requests that reached it +
// "% Errors"; then, when this machine failed some requests itself, ", " their percentage of all
// users + "% client errors".
std::string ramplabel(int errors, int users, int clienterrors = 0);
// The line under the status summary of a run in which this machine failed requests itself.
std::string clienterrorline(int clienterrors, int requests);
