#pragma once
// The two result charts as SVG elements for the HTML report, drawn from the chart model: the
// request chart (one point per request in its outcome's colour, the title and the four foot
// lines) and the ramp chart (average processing and wait time against users).

#include <string>

#include "results/ChartLayout.h"
#include "results/ChartModel.h"

std::string svgrequestchart(const TChartModel& charts);
std::string svgrampchart(const TChartModel& charts);
// Distributions of wait times, each series a step line of its colour, with its legend entry.
std::string svgsharechart(const std::string& title, const std::vector<TShareSeries>& series);
