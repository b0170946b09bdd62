#include "segments/MergedResults.h"

#include <ctime>

#include "common/OutputText.h"
#include "engine/FirstResponse.h"
#include "engine/RunText.h"
#include "results/Clock.h"
#include "results/RunSummary.h"
#include "results/SysInfo.h"
#include "settings/SettingsModel.h"

namespace {

// The local date and time of a wall-clock instant, as the test header writes it.
std::string localdatetime(double epochms) {
  std::time_t t = static_cast<std::time_t>(epochms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[128];
  std::strftime(text, sizeof text, "%x %X", &tm);
  return text;
}

void header(const TMergedTest& m, TLogModel& logs, TChartModel& charts) {
  const TestSettings& s = m.settings;
  startcharts(s, charts);

  logs.logdatared(std::string("Server Load Test Results (by Pressbolt Version ") + kVersion + ", " +
                  kWebAddress + ")");
  if (const std::string* url = testedurl(s)) {
    logs.logdatanocr("Tested URL: " + *url);
  } else {
    logs.logdata("Testing Multiple URLs");
  }
  logs.logdatanocr(std::string("Settings: use ") + testmethod(s) + " requests");
  logs.logdatanocr("Settings: " + testdescription(s));
  // The load generators' own description; this host's when the results carry none.
  for (const auto& line : m.clientsystem.empty() ? clientsystemlines() : m.clientsystem) {
    logs.logdatanocr(line);
  }
  logs.logdata("Test run on " + localdatetime(m.epochms));
}

}  // namespace

std::string spreadline(const TMergedRun& run, int segments) {
  return "Merged from " + std::to_string(segments) + " segments: run starts " +
         formatshortest(run.startspreadms, 1) + " ms apart";
}

namespace {

// The "Created ..." line: the start loop as the test told it; a result written without it says
// what its requests' starts say.
std::string created(const TSegmentRun& r) {
  if (r.startloop.known()) {
    return createdline(static_cast<int>(r.size()), r.startloop.ms, r.startloop.persecond);
  }
  double firststart = 0, laststart = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    if (i == 0 || r.start[i] < firststart) firststart = r.start[i];
    if (i == 0 || r.start[i] > laststart) laststart = r.start[i];
  }
  return createdline(static_cast<int>(r.size()), laststart - firststart);
}

// Time to first byte is that of the request whose first byte arrived first; below 0: none came.
long double firstbyteof(const TSegmentRun& r) {
  long double firstbyte = -1, firstbyteat = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    if (r.firstbyte[i] < 0) continue;
    long double at = static_cast<long double>(r.start[i]) + r.firstbyte[i];
    if (firstbyte < 0 || at < firstbyteat) {
      firstbyte = r.firstbyte[i];
      firstbyteat = at;
    }
  }
  return firstbyte;
}

// Whether every run of m completed with the same users: the mean over the runs is then the
// totals' figure, and a stored result's requests/h of all runs applies to the last one.
bool sameusersinevery(const TMergedTest& m) {
  for (const TMergedRun& run : m.runs) {
    if (run.aborted || run.users != m.runs.front().users) return false;
  }
  return true;
}

// The requests/h of foot line 2's mean where the result holds it: a run's own (a ramp step, or
// the first run counted), or all runs' at the last one; worked out again from rounded times, it
// could move by a few units. Below 0: none held.
long double storedperhour(const TMergedTest& m, const TMergedRun& run, bool ramp,
                          const TRunsSoFar& sofar) {
  if (ramp || sofar.runscounted == 0) return run.requestsperhour;
  if (&run == &m.runs.back() && sameusersinevery(m)) return m.requestsperhour;
  return -1;
}

// A merged run as the records its summary reads (users, overall time, abort, and the columns of
// its figures).
TRunRecords summedrecords(const TMergedRun& run) {
  const TSegmentRun& r = run.requests;
  TRunRecords out;
  out.run = run.run - 1;
  out.users = run.users;
  out.aborted = run.aborted;
  out.overallms = run.overallms;
  out.ended = true;
  out.wait = r.wait;
  out.firstbyte = r.firstbyte;
  out.status.assign(r.status.begin(), r.status.end());
  out.socketcode = r.socket;
  out.bytes = r.bytes;
  out.server = r.server;
  out.serverttfb = r.serverttfb;
  out.connect = r.connect;
  out.tls = r.tls;
  return out;
}

}  // namespace

void mergedviews(const TMergedTest& m, TLogModel& logs, TChartModel& charts) {
  logs.clear();
  charts.clear();
  header(m, logs, charts);
  for (const std::string& line : m.notes) logs.logdatared(line);

  TRunsSoFar sofar;
  for (const TMergedRun& run : m.runs) {
    const TSegmentRun& r = run.requests;
    logs.logdatanocr("");
    logs.logdatared("Results of run " + std::to_string(run.run));
    if (m.segments > 0) logs.logdatanocr(spreadline(run, m.segments));
    logs.logdatanocr(created(r));
    if (const long double firstbyte = firstbyteof(r); firstbyte >= 0) {
      logs.logdatanocr(firstbyteline(firstbyte));
    }
    for (size_t i = 0; i < r.size(); ++i) {
      // An older result has no phase columns: a missing row is none.
      charts.addrequest(r.start[i], r.wait[i], r.status[i], r.server[i], r.serverttfb[i],
                        r.socket[i], i < r.connect.size() ? r.connect[i] : -1,
                        i < r.tls.size() ? r.tls[i] : -1);
    }
    // The charts were started as the test's (header()): a ramp test's have the ramp chart.
    const bool ramp = charts.hasrampchart();
    const long double perhour = storedperhour(m, run, ramp, sofar);
    const TRunSummary summary = runsummary(summedrecords(run), ramp, charts.foot(), sofar, perhour);
    if (run.aborted) continue;
    if (run.run == 1 && m.firstresponselength >= 0) {
      logs.logdatanocr("Number of Bytes in Result: " + std::to_string(m.firstresponselength) +
                       " Bytes (1st request)");
    }
    showsummary(summary, logs, charts);
  }

  if (m.aborted) {
    logs.logdatanocr("");
    logs.logdatared("Test aborted");
  }
  logs.logdatanocr("");
  logs.logdatanocr("");
  logs.logdatared("Glossary:");
  for (const char* line : kGlossary) logs.logdatanocr(line);
}

void mergedrecords(const TMergedTest& m, TRequestRecords& records) {
  for (const TMergedRun& run : m.runs) {
    const TSegmentRun& r = run.requests;
    if (r.startloop.known()) records.setstartloop(run.run - 1, r.startloop);
    for (size_t i = 0; i < r.size(); ++i) {
      records.add(TRequestOutcome{run.run - 1, r.user[i], &m.requesturls[r.url[i]], r.start[i],
                                  r.wait[i], r.firstbyte[i], r.status[i], r.socket[i], r.bytes[i],
                                  r.server[i], r.serverttfb[i], r.connect[i], r.tls[i]});
    }
    records.endrun(run.run - 1, run.users, run.overallms, run.aborted);
  }
}

TReportInfo mergedinfo(const TMergedTest& m) {
  TReportInfo info;
  info.testid = m.testid;
  info.started = m.started;
  info.aborted = m.aborted;
  info.settings = m.settings;
  info.urls = m.urls;
  info.postbytes = m.postbytes;
  info.epochms = m.epochms;
  info.clientsystem = m.clientsystem;
  info.firstresponselength = m.firstresponselength;
  info.firstresponsebytes = m.firstresponsebytes;
  info.mergedsegments = m.segments;
  for (const TMergedRun& run : m.runs) info.startspreadms.push_back(run.startspreadms);
  return info;
}
