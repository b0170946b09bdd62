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

double testepochms(const TLoadEngine& engine) {
  return preciseepochms() - static_cast<double>(elapsedms() - engine.teststart);
}

void teststarted(TReportInfo& info, const TLoadEngine& engine) {
  info.epochms = testepochms(engine);
  info.started = utcsecond(info.epochms);
}

void endtestinfo(TReportInfo& info, const TLoadEngine& engine) {
  info.aborted = engine.aborted;
  // Counted as the response arrived: temp.htm may be huge and is never read back.
  if (auto length = engine.firstresponselength()) info.firstresponselength = int64_t(*length);
  if (auto bytes = engine.firstresponsebytes()) info.firstresponsebytes = int64_t(*bytes);
}
