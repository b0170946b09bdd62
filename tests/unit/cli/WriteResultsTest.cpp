// The routine every way of pressbolt-cli ends with: what a test keeps for the outputs asked for,
// every output written even when another fails, the log file a merge or a stored result writes
// itself, and which outcome the exit status tells when several come together.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "cli/WriteResults.h"
#include "results/LogFile.h"
#include "support/TestSupport.h"

namespace {

struct TFinished {
  TReportInfo info;
  TRequestRecords records;
  TLogModel logs;
  TChartModel charts;
  TTestFigures figures;
  TOutputSource source{info, records, logs, charts, figures};
  TFinished() { logs.logdatabold("Results of run 1"); }
};

bool exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(WriteResults, ATestKeepsOnlyWhatItsOutputsAndLimitsNeed) {
  TCliJob job;
  EXPECT_EQ(outputneeds(job), 0u);
  // A CSV row per request needs the requests, not their sorted figures.
  job.outputs["--requests-csv"] = "r.csv";
  EXPECT_EQ(outputneeds(job), unsigned(kNeedsRecords));
  const unsigned both = kNeedsRecords | kNeedsFigures;
  for (const char* option : {"--json", "--html"}) {
    job.outputs = {{option, "r"}};
    EXPECT_EQ(outputneeds(job), both) << option;
  }
  // A limit is judged on the figures, which are worked out from the requests.
  job.outputs.clear();
  job.maxp99wait = 10;
  EXPECT_EQ(outputneeds(job), both);
}

TEST(WriteResults, AFailedOutputSpoilsTheStatusButEveryOtherIsWritten) {
  TTempDir dir;
  TFinished r;
  TCliJob job;
  job.quiet = true;
  job.outputdir = dir.file("made/here");
  for (const TOutputFormat& f : outputformats()) job.outputs[f.option] = dir.file(f.option);
  job.outputs["--json"] = "/dev/full";  // every write fails: no space left

  const TResultsWritten w = writeresults(job, r.source, false);
  EXPECT_FALSE(w.written);
  EXPECT_EQ(exitstatus(w), kExitNotWritten);
  for (const TOutputFormat& f : outputformats()) {
    if (std::string(f.option) != "--json") {
      EXPECT_FALSE(readfile(dir.file(f.option)).empty()) << f.option;
    }
  }
  // A merge or a stored result has no engine to save its log file: the routine made the
  // directory and wrote it.
  EXPECT_NE(readfile(job.outputdir + "/" + resultsfilename).find("Results of run 1"),
            std::string::npos);
}

TEST(WriteResults, ATestsEngineHasSavedItsLogFilesAlready) {
  TTempDir dir;
  TFinished r;
  TCliJob job;
  job.quiet = true;
  job.outputdir = dir.file("absent");
  job.outputs["--requests-csv"] = dir.file("r.csv");
  const TResultsWritten w = writeresults(job, r.source, true);
  EXPECT_EQ(exitstatus(w), kExitOk);
  EXPECT_TRUE(exists(dir.file("r.csv")));
  EXPECT_FALSE(exists(job.outputdir));
}

TEST(WriteResults, TheExitStatusTellsTheGravestOutcome) {
  TResultsWritten w;
  EXPECT_EQ(exitstatus(w), kExitOk);
  w.withinlimits = false;
  EXPECT_EQ(exitstatus(w), kExitThreshold);
  // A test cut short says so before any limit: its runs are incomplete.
  EXPECT_EQ(exitstatus(w, kExitTimeout), kExitTimeout);
  EXPECT_EQ(exitstatus(w, kExitSignalBase + 2), kExitSignalBase + 2);
  w.written = false;
  EXPECT_EQ(exitstatus(w, kExitTimeout), kExitNotWritten);
  w.refused = true;
  EXPECT_EQ(exitstatus(w, kExitTimeout), kExitBadInput);
}
