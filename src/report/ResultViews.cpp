#include "report/ResultViews.h"

void showstoredresult(const TStoredResult& result, TLogModel& logs, TChartModel& charts) {
  logs.clear();
  for (const TResultLine& line : result.logs.resultlines()) {
    logs.logresult(line);
  }
  const TChartModel& from = result.charts;
  charts.clear();
  charts.settitles(from.chart1title(), from.chart2title());
  for (int i = 0; i < 4; ++i) charts.setfoot(i, from.foot()[static_cast<size_t>(i)]);
  // The server times go along: the printed report's table and the points' tips read them.
  for (const TChartPoint& p : from.requests()) {
    charts.addrequest(p.x, p.y, p.statuscode, p.server, p.serverttfb, p.socketcode, p.connect,
                      p.tls);
  }
  for (const TRampPoint& p : from.ramps()) charts.addramp(p.users, p.y, p.label);
  for (const TRampPoint& p : from.rampwaits()) charts.addrampwait(p.users, p.y);
}
