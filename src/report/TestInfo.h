#pragma once
// What a test run in this process says about itself in its result file, taken from its settings
// and the engine's facts (engine/TestFacts.h) the same way by every host that writes one.

#include <string>
#include <vector>

#include "engine/TestFacts.h"
#include "stored/ReportInfo.h"

// Just before the start: a fresh test id, the start time, the settings without the password,
// the multiple-URL list and the client system.
TReportInfo starttestinfo(const TestSettings& settings, const std::vector<std::string>& urls);
// Right after the start returned: the wall-clock time of the test clock's zero, so that results
// of other load generators can be lined up with this one.
double testepochms(const TTestFacts& test);
// Right after the start returned: the test clock's zero (epochms) and the whole second it lies in
// ("started"), both from that one instant, so "started" never reads the second before the start.
void teststarted(TReportInfo& info, const TTestFacts& test);
// After the test: whether it was aborted and the first response's length.
void endtestinfo(TReportInfo& info, const TTestFacts& test);
