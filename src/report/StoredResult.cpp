#include "report/StoredResult.h"

#include <cerrno>
#include <cstring>

#include "common/WholeFile.h"
#include "segments/MergeNotes.h"
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
  m.postbytes = f.postbytes;
  m.requesturls = f.requesturls;
  m.clientsystem = f.clientsystem;
  m.firstresponselength = f.firstresponselength;
  m.firstresponsebytes = f.firstresponsebytes;
  for (size_t k = 0; k < f.runs.size(); ++k) {
    TMergedRun r;
    r.run = f.runs[k].run;
    r.users = f.runs[k].users;
    r.aborted = f.runs[k].aborted;
    r.overallms = f.runs[k].overallms;
    r.startspreadms = k < f.startspreadms.size() ? f.startspreadms[k] : 0;
    if (k < f.runfigures.size() && f.runfigures[k].written) {
      r.requestsperhour = f.runfigures[k].requestsperhour;
    }
    r.requests = std::move(f.runs[k]);
    m.runs.push_back(std::move(r));
  }
  if (f.totals.written) m.requestsperhour = f.totals.requestsperhour;
  TReportInfo notes;
  readmergenotes(text, m, notes);
  mergedrecords(m, out.records);
  mergedviews(m, out.logs, out.charts);

  // As the merge describes its test, but the file's own segment numbers and spreads stand.
  out.info = mergedinfo(m);
  out.info.members = std::move(notes.members);
  out.info.partial = std::move(notes.partial);
  out.info.segment = f.segment;
  out.info.segments = f.segments;
  out.info.startspreadms = f.startspreadms;

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
  std::string text;
  // A result is a regular file: a device or a FIFO would never end, or never begin.
  if (const int e = readwholefile(path, text, TFileKinds::RegularOnly, kMaxResultBytes); e != 0) {
    error = "cannot read \"" + path + "\": " +
            (e == EINVAL  ? std::string("it is not a regular file")
             : e == EFBIG ? "it is larger than " + std::to_string(kMaxResultBytes >> 20) + " MiB"
                          : std::strerror(e));
    return false;
  }
  return parsestoredresult(path, text, out, error);
}
