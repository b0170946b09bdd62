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

// The requests per second of a start loop, rounded; -1 when it took no measurable time.
long long startrate(int requests, long double ms);
// "Created " N " requests in " D "ms", with " (equals ~" rate " requests per second)" when the
// start loop took measurable time. The second form shows a rate as it was stored (-1: none).
std::string createdline(int requests, long double ms);
std::string createdline(int requests, long double ms, long long persecond);
// "Time to first byte: ~" ms " msec"
std::string firstbyteline(long double ms);
// "Resulting statuscodes: " then count x"code" (=text), for every entry in tally order.
std::string statussummary(const TStatusTally& tally);
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

// What a completed run adds to the foot of the request chart and to the ramp chart.
struct TRunFoot {
  int users = 0;
  long double mean = 0;         // mean processing time of the runs counted (a ramp step: its own)
  long double runscounted = 0;  // runs in that mean
  long double perhour = -1;     // requests/h of that mean as stored; below 0: worked out from it
  int errors = 0;               // the run's answers other than 200, its client errors included
  int clienterrors = 0;         // requests this machine failed itself
  // Mean wait of the run's own requests, and of every request of the test so far; below 0: none.
  long double runwait = -1, allwait = -1;
};
// Foot lines 2 and 3; a ramp step adds its two ramp points, plotted at the step's own means.
void runfoot(bool ramp, const TRunFoot& f, TChartModel& charts);
