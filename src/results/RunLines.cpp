// The texts that sum up a run.

#include "results/RunLines.h"

#include "common/Rounding.h"
#include "results/StatusText.h"

std::string perhour(long double meanmsec) {
  if (meanmsec == 0) return std::string();
  return " (equals ~" + rounded(3600000 / meanmsec) + " requests/h)";
}

std::string firstbyteline(long double ms) {
  return "Time to first byte: ~" + rounded(ms) + " msec";
}

std::string statussummary(const std::vector<std::pair<int, size_t>>& tally) {
  std::string summary = "Resulting statuscodes: ";
  for (const auto& [code, count] : tally) {
    summary +=
        std::to_string(count) + "x\"" + std::to_string(code) + "\" (=" + statustext(code) + "), ";
  }
  return summary;
}

namespace {

// " (equals ~N requests/h)", N as stored when there is a stored figure.
std::string rate(long double mean, long double stored) {
  if (stored < 0 || mean == 0) return perhour(mean);
  return " (equals ~" + rounded(stored) + " requests/h)";
}

}  // namespace

std::string rampfoot(int users, long double mean, long double perhour) {
  return "  Average Request Processing Time for " + std::to_string(users) +
         " simultaneous users: " + rounded(mean) + " msec" + rate(mean, perhour);
}

std::string runsfoot(long double runs, long double mean, long double perhour) {
  return "  Average Request Processing Time after " + rounded(runs) + " runs: " + rounded(mean) +
         " msec" + rate(mean, perhour);
}

std::string waitfoot(long double avgwait, int users) {
  return "  Average User Wait Time: " + rounded(avgwait) + " msec for " + std::to_string(users) +
         " simultaneous users";
}

std::string ramplabel(int errors, int users, int clienterrors) {
  // The server answered only the requests this machine could send.
  const int reached = users - clienterrors;
  const int servererrors = errors - clienterrors;
  std::string label =
      servererrors <= 0 || reached <= 0
          ? std::string("ok")
          : rounded(static_cast<long double>(servererrors) / reached * 100) + "% Errors";
  if (clienterrors > 0) {
    label +=
        ", " + rounded(static_cast<long double>(clienterrors) / users * 100) + "% client errors";
  }
  return label;
}

std::string clienterrorline(int clienterrors, int requests) {
  return "Client errors: " + std::to_string(clienterrors) + " of " + std::to_string(requests) +
         " requests failed on this machine (no descriptor, no local port, no buffer memory), "
         "not at the server";
}
