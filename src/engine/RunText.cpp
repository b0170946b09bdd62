// The lines a test writes as it starts and launches its runs, shared by the engine and the merge
// of stored results.

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
