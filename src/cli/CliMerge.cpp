#include "cli/CliMerge.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/CliJob.h"
#include "cli/CliReport.h"
#include "cli/CliRun.h"
#include "cli/JobParts.h"
#include "common/WholeFile.h"
#include "report/Baseline.h"
#include "report/CsvReport.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"
#include "report/OutputFile.h"
#include "results/LogFile.h"
#include "segments/MergeNotes.h"
#include "segments/MergedResults.h"

namespace {

void complain(const std::string& text) {
  std::fprintf(stderr, "pressbolt-cli: %s\n", printable(text).c_str());
}

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
  return writeresults(job, records, logs, charts, info, figures);
}

int writeresults(const TCliJob& job, const TRequestRecords& records, const TLogModel& logs,
                 const TChartModel& charts, const TReportInfo& info, const TTestFigures& figures) {
  std::string error;
  if (job.baselineresult) {
    const std::string problem = baselinemismatch(job.baselineresult->info, info.settings);
    if (!problem.empty()) {
      complain("--baseline: cannot compare with \"" + job.baseline + "\": " + problem);
      return kExitBadInput;
    }
  }
  std::string json =
      !job.json.empty() || job.baselineresult ? jsonreport(info, records, figures) : "";
  const TBaselineReport baseline = baselinereport(job, json);
  if (baseline.compared) json = baseline.json;

  // Made only now: a merge or a comparison that was refused leaves no trace.
  if (!job.outputdir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(job.outputdir, ec);
    if (ec) {
      complain("--output-dir: cannot create \"" + job.outputdir + "\": " + ec.message());
      return kExitBadInput;
    }
  }
  bool written = true;
  auto write = [&](const std::string& path, const std::string& bytes) {
    if (path.empty()) return;
    if (!writeoutput(path, bytes, error)) {
      complain(error);
      written = false;
    }
  };
  std::string text;
  for (const auto& line : logs.resultlines()) text += line.text + "\n";
  text += baseline.text;
  if (!job.quiet) {
    if (job.stdoutoutput) {
      std::fputs(text.c_str(), stderr);
    } else {
      write("-", text);
    }
  }
  if (!job.outputdir.empty()) {
    const std::string path = job.outputdir + "/" + resultsfilename;
    if (!saveresults(path, logs.resultlines(), error)) {
      complain(error);
      written = false;
    }
  }
  if (!job.json.empty()) write(job.json, json);
  if (!job.requestscsv.empty()) write(job.requestscsv, csvreport(records));
  if (!job.html.empty()) {
    write(job.html, htmlreport(info, logs, charts, figures, records, baseline.html));
  }
  // Both are judged, so each limit that failed says so.
  const bool limits = withinlimits(job, figures);
  const bool regression = withinregression(job, baseline);
  const bool limitsok = limits && regression;
  if (!written) return kExitNotWritten;
  return limitsok ? kExitOk : kExitThreshold;
}
