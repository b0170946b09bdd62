#pragma once
// The two result charts as SVG elements for the HTML report, drawn from the chart model: the
// request chart (one point per request in its outcome's colour, the title and the four foot
// lines) and the ramp chart (average processing and wait time against users).

#include <string>

#include "results/ChartLayout.h"
#include "results/ChartModel.h"
#include "results/RequestRecords.h"

std::string svgrequestchart(const TChartModel& charts);
std::string svgrampchart(const TChartModel& charts);
// The server's own time (kernel receive stamps) of every stamped request against its start, in
// the request chart's shape and colours; charts gives the title, the records the points.
std::string svgservertimechart(const TChartModel& charts, const TRequestRecords& records);
// Whether any request of records has a server time, so that the chart has something to show.
bool hasservertimes(const TRequestRecords& records);
// Distributions of wait times, each series a step line of its colour, with its legend entry.
std::string svgsharechart(const std::string& title, const std::vector<TShareSeries>& series);
