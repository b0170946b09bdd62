#include "cli/CliMerge.h"

#include <cstdio>
#include <sstream>

#include "cli/CliJob.h"
#include "cli/JobParts.h"
#include "cli/WriteResults.h"
#include "common/WholeFile.h"
#include "report/RunFigures.h"
#include "segments/MergeNotes.h"
#include "segments/MergedResults.h"

namespace {

bool readsegments(const std::vector<std::string>& paths, std::vector<TSegmentFile>& files,
                  std::vector<TSegmentNotes>& notes) {
  bool ok = true;
  for (const std::string& path : paths) {
    std::string text;
    TSegmentFile file;
    std::string error;
    if (const int e = readwholefile(path, text, TFileKinds::RegularOrStdin, kMaxResultBytes)) {
      complain("--merge: " + inputproblem(e, path, TFileKinds::RegularOrStdin, kMaxResultBytes));
      ok = false;
    } else if (!readsegmentfile(path, text, file, error)) {
      complain("--merge: " + error);
      ok = false;
    } else {
      files.push_back(std::move(file));
      if (TSegmentNotes n; readsegmentnotes(text, n)) notes.push_back(std::move(n));
    }
  }
  return ok;
}

}  // namespace

int runmerge(const TCliJob& job) {
  std::vector<TSegmentFile> files;
  std::vector<TSegmentNotes> notes;
  if (!readsegments(job.merge, files, notes)) return kExitBadInput;
  TMergedTest merged;
  std::string error;
  if (!mergesegments(files, merged, error, job.allowpartial)) {
    std::istringstream lines(error);
    for (std::string line; std::getline(lines, line);) complain("--merge: " + line);
    return kExitBadInput;
  }
  files.clear();  // the merged copy is all that is needed from here
  notemerge(merged, notes);
  // A partial result and a clock that was not synchronised are said where they cannot be missed.
  for (const std::string& line : merged.notes) {
    if (line.rfind("Partial result: ", 0) == 0 || line.rfind("Warning: ", 0) == 0) complain(line);
  }

  TRequestRecords records;
  mergedrecords(merged, records);
  TLogModel logs;
  TChartModel charts;
  mergedviews(merged, logs, charts);
  TReportInfo info = mergedinfo(merged);
  describemerge(merged, notes, info);
  const TTestFigures figures = testfigures(records);
  TOutputSource source(info, records, logs, charts, figures);
  return exitstatus(writeresults(job, source, false));
}
