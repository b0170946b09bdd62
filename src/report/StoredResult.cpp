#include "report/StoredResult.h"

#include <fstream>
#include <sstream>

#include "segments/MergedResults.h"

namespace {

// The averages a result was written with: the request columns hold rounded times, and averages
// worked out again from them could differ in the last digit from what the file says.
void keepstored(const TStoredFigures& s, TRunFigures& f) {
  if (!s.written) return;
  f.errorrate = s.errorrate;
  f.overallms = s.overallms;
  f.avgprocessing = s.avgprocessing;
  f.requestsperhour = s.requestsperhour;
  f.avgwait = s.avgwait;
  f.throughput = s.throughput;
}

}  // namespace

bool parsestoredresult(const std::string& path, const std::string& text, TStoredResult& out,
                       std::string& error) {
  TSegmentFile f;
  if (!readresultfile(path, text, f, error)) return false;
  out = TStoredResult();
  out.path = path;

  // The merge's views and records serve any result: a test of one process is a merge of nothing.
  TMergedTest m;
  m.testid = f.testid;
  m.started = f.started;
  m.epochms = f.epochms;
  m.segments = f.mergedsegments;
  m.aborted = f.aborted;
  m.settings = f.settings;
  m.urls = f.urls;
  m.requesturls = f.requesturls;
  m.clientsystem = f.clientsystem;
  m.firstresponselength = f.firstresponselength;
  for (size_t k = 0; k < f.runs.size(); ++k) {
    TMergedRun r;
    r.run = f.runs[k].run;
    r.users = f.runs[k].users;
    r.aborted = f.runs[k].aborted;
    r.overallms = f.runs[k].overallms;
    r.startspreadms = k < f.startspreadms.size() ? f.startspreadms[k] : 0;
    r.requests = std::move(f.runs[k]);
    m.runs.push_back(std::move(r));
  }
  mergedrecords(m, out.records);
  mergedviews(m, out.logs, out.charts);

  TReportInfo& info = out.info;
  info.testid = f.testid;
  info.started = f.started;
  info.aborted = f.aborted;
  info.settings = f.settings;
  info.urls = f.urls;
  info.segment = f.segment;
  info.segments = f.segments;
  info.epochms = f.epochms;
  info.clientsystem = f.clientsystem;
  info.firstresponselength = f.firstresponselength;
  info.mergedsegments = f.mergedsegments;
  info.startspreadms = f.startspreadms;

  out.figures = testfigures(out.records);
  for (size_t k = 0; k < out.figures.runs.size() && k < f.runfigures.size(); ++k) {
    keepstored(f.runfigures[k], out.figures.runs[k]);
  }
  keepstored(f.totals, out.figures.totals);
  out.storedruns = std::move(f.runfigures);
  out.storedtotals = f.totals;
  return true;
}

bool readstoredresult(const std::string& path, TStoredResult& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in || in.bad()) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  return parsestoredresult(path, text.str(), out, error);
}
