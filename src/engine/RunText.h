#pragma once
// The lines a test writes about its runs as it starts them: the charts' titles and foot lines at
// the test start, and a run's "Created ..." line. The lines that sum up a finished run come from
// its summary (results/RunSummary.h); a merge of segment results writes both from the merged
// requests.

#include <string>

#include "engine/TestSettings.h"
#include "results/ChartModel.h"
#include "results/RunLines.h"

// The charts' titles and their four foot lines as a test starts ("Load test: " + the URL, cut
// after 60 characters; the foot lines that the run summaries replace later).
void startcharts(const TestSettings& s, TChartModel& charts);

// The requests per second of a start loop, rounded; -1 when it took no measurable time.
long long startrate(int requests, long double ms);
// "Created " N " requests in " D "ms", with " (equals ~" rate " requests per second)" when the
// start loop took measurable time. The second form shows a rate as it was stored (-1: none).
std::string createdline(int requests, long double ms);
std::string createdline(int requests, long double ms, long long persecond);
