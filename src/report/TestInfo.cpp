#include "report/TestInfo.h"

#include "results/Clock.h"
#include "results/SysInfo.h"
#include "segments/StartTime.h"

TReportInfo starttestinfo(const TestSettings& settings, const std::vector<std::string>& urls) {
  TReportInfo info;
  info.settings = settings;
  info.settings.password.clear();
  info.urls = urls;
  info.testid = newtestid();
  info.started = utcnow();
  info.clientsystem = clientsystemlines();
  return info;
}

double testepochms(const TTestFacts& test) {
  return preciseepochms() - static_cast<double>(elapsedms() - test.teststart);
}

void teststarted(TReportInfo& info, const TTestFacts& test) {
  info.epochms = testepochms(test);
  info.started = utcsecond(info.epochms);
}

void endtestinfo(TReportInfo& info, const TTestFacts& test) {
  info.aborted = test.aborted;
  // Counted as the response arrived: temp.htm may be huge and is never read back.
  if (auto length = test.firstresponselength) info.firstresponselength = int64_t(*length);
  if (auto bytes = test.firstresponsebytes) info.firstresponsebytes = int64_t(*bytes);
}
