#pragma once
// The results as one self-contained HTML page (no scripts, nothing fetched): the request chart and,
// in a ramp test, the ramp chart as inline SVG, the "Results" text, and a table of each run's
// figures with the percentiles of its wait and first-byte times. Where the kernel stamped the
// responses, a chart of the server's own time beside the request chart and a table of its
// percentiles.

#include <string>

#include "report/RunFigures.h"
#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "stored/ReportInfo.h"

// section: more of the page (a comparison with a baseline), shown before the "Results" text.
std::string htmlreport(const TReportInfo& info, const TLogModel& logs, const TChartModel& charts,
                       const TTestFigures& figures, const TRequestRecords& records,
                       const std::string& section = std::string());

// Text made safe for HTML element content and attribute values.
std::string htmlescape(const std::string& text);
