#pragma once
// The results as JSON: the settings, each run's figures with its requests as compact columns, and
// the test's totals. The README documents the shape; "format" changes when it does.

#include <string>

#include "report/RunFigures.h"
#include "results/RequestRecords.h"
#include "stored/ReportInfo.h"

inline constexpr int kJsonFormat = 1;

// The "settings" member alone, as one line (segments of one test compare it).
std::string jsonsettings(const TReportInfo& info);

// The whole document: one member per line at the top, one run per line, ending with a newline.
std::string jsonreport(const TReportInfo& info, const TRequestRecords& records,
                       const TTestFigures& figures);
