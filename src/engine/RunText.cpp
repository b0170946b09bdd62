// The lines that sum up a run, shared by the engine and the merge of stored results.

#include "engine/RunText.h"

#include <cmath>

#include "common/OutputText.h"
#include "engine/Texts.h"
#include "results/Clock.h"

void startcharts(const TestSettings& s, TChartModel& charts) {
  // A password in the URL never reaches a chart or a printed report.
  const std::string url = maskedurl(s.url);
  const std::string target = s.multipleurls    ? "(multiple URLs)"
                             : url.size() < 60 ? url
                                               : url.substr(0, 60) + "...";
  if (s.ramptest) {
    charts.settitles("Ramp test: " + target, "Ramp test: " + target);
  } else {
    charts.settitles("Load test: " + target, "");
  }
  charts.setfoot(0, "green=ok, red=error, black=timeout");
  charts.setfoot(1, testdescription(s, true));
  charts.setfoot(2, "Average Request Times:");
  charts.setfoot(3, "Average User Times:");
}

long long startrate(int requests, long double ms) {
  if (ms <= 0) return -1;
  return static_cast<long long>(std::rint(requests / (ms / 1000)));
}

std::string createdline(int requests, long double ms) {
  return createdline(requests, ms, startrate(requests, ms));
}

std::string createdline(int requests, long double ms, long long persecond) {
  std::string line =
      "Created " + std::to_string(requests) + " requests in " + formatshortest(ms, 3) + "ms";
  if (persecond >= 0) {
    line += " (equals ~" + std::to_string(persecond) + " requests per second)";
  }
  return line;
}

std::string firstbyteline(long double ms) {
  return "Time to first byte: ~" + rounded(ms) + " msec";
}

std::string statussummary(const TStatusTally& tally) {
  std::string summary = "Resulting statuscodes: ";
  for (int i = 1; i <= tally.statuscodecount(); ++i) {
    summary += std::to_string(tally.statuscounts(i)) + "x\"" +
               std::to_string(tally.statuscodes(i)) + "\" (=" + statustext(tally.statuscodes(i)) +
               "), ";
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

void runfoot(bool ramp, const TRunFoot& f, TChartModel& charts) {
  if (ramp) {
    if (f.mean > 0) charts.setfoot(2, rampfoot(f.users, f.mean, f.perhour));
    charts.addramp(f.users, f.mean, ramplabel(f.errors, f.users, f.clienterrors));
    // The step's own mean wait, as its processing time is the step's own.
    if (f.runwait >= 0) {
      charts.addrampwait(f.users, f.runwait);
      charts.setfoot(3, waitfoot(f.runwait, f.users));
    }
    return;
  }
  charts.setfoot(2, runsfoot(f.runscounted, f.mean, f.perhour));
  if (f.allwait >= 0) charts.setfoot(3, waitfoot(f.allwait, f.users));
}
