#include "engine/RunText.h"

#include "engine/EngineText.h"
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

std::string createdline(int requests, long double ms) {
  std::string line =
      "Created " + std::to_string(requests) + " requests in " + formatshortest(ms, 3) + "ms";
  if (ms > 0) line += " (equals ~" + rounded(requests / (ms / 1000)) + " requests per second)";
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

std::string rampfoot(int users, long double mean) {
  return "  Average Request Processing Time for " + std::to_string(users) +
         " simultaneous users: " + rounded(mean) + " msec" + perhour(mean);
}

std::string runsfoot(long double runs, long double mean) {
  return "  Average Request Processing Time after " + rounded(runs) + " runs: " + rounded(mean) +
         " msec" + perhour(mean);
}

std::string waitfoot(long double avgwait, int users) {
  return "  Average User Wait Time: " + rounded(avgwait) + " msec for " + std::to_string(users) +
         " simultaneous users";
}

std::string ramplabel(int errors, int users) {
  if (errors <= 0) return "ok";
  return rounded(static_cast<long double>(errors) / users * 100) + "% Errors";
}
