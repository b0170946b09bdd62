#pragma once
// The lines that sum up a run in the "Results" view and the request chart's foot. The engine
// writes them as a test starts and a run ends; a merge of segment results writes the same lines
// from the merged requests.

#include <string>

#include "engine/StatusTally.h"
#include "engine/TestSettings.h"
#include "results/ChartModel.h"

// The charts' titles and their four foot lines as a test starts ("Load test: " + the URL, cut
// after 60 characters; the foot lines that the run summaries replace later).
void startcharts(const TestSettings& s, TChartModel& charts);

// "Created " N " requests in " D "ms", with " (equals ~" rate " requests per second)" when the
// start loop took measurable time.
std::string createdline(int requests, long double ms);
// "Time to first byte: ~" ms " msec"
std::string firstbyteline(long double ms);
// "Resulting statuscodes: " then count x"code" (=text), for every entry in tally order.
std::string statussummary(const TStatusTally& tally);
// Foot line 2 of a ramp step: "  Average Request Processing Time for " users ...
std::string rampfoot(int users, long double mean);
// Foot line 2 after runs runs: "  Average Request Processing Time after " runs " runs: " ...
std::string runsfoot(long double runs, long double mean);
// Foot line 3: "  Average User Wait Time: " wait " msec for " users " simultaneous users"
std::string waitfoot(long double avgwait, int users);
// A ramp point's label: "ok", or the percentage of non-200 answers + "% Errors".
std::string ramplabel(int errors, int users);
