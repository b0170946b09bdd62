// The table of outputs against the program: every row is written the same way at the end of a
// test, a merge and --report, and the rows that may take stdout do, moving the "Results" text to
// stderr. The rows are read from the table, so a new one is checked without a new test.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "cli/OutputTable.h"
#include "support/TargetServer.h"

namespace {

std::string firstline(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// " --json 'dir/test--json.out' --requests-csv ..." for every row of the table.
std::string everyoutput(const TTempDir& dir, const std::string& prefix) {
  std::string args;
  for (const TOutputFormat& f : outputformats()) {
    args += std::string(" ") + f.option + " '" + dir.file(prefix + f.option + ".out") + "'";
  }
  return args;
}

}  // namespace

TEST(CliOutputTable, EveryRowIsWrittenByATestAMergeAndAReport) {
  TTargetServer target;
  TTempDir dir;
  const TCliResult test = clirun(dir, "-q --users 3 --output-dir logs" + everyoutput(dir, "test") +
                                          " " + quoted(target.url("/size/100")));
  ASSERT_EQ(test.status, 0) << test.err;
  const std::string json = dir.file("test--json.out");
  ASSERT_FALSE(readfile(json).empty()) << "the table has no --json row to merge from";

  const TCliResult merge = clirun(dir, "-q --merge '" + json + "'" + everyoutput(dir, "merge"));
  ASSERT_EQ(merge.status, 0) << merge.err;
  const TCliResult report = clirun(dir, "-q --report '" + json + "'" + everyoutput(dir, "report"));
  ASSERT_EQ(report.status, 0) << report.err;

  for (const TOutputFormat& f : outputformats()) {
    const std::string fromtest = readfile(dir.file(std::string("test") + f.option + ".out"));
    ASSERT_FALSE(fromtest.empty()) << f.option;
    for (const char* way : {"merge", "report"}) {
      const std::string bytes = readfile(dir.file(way + std::string(f.option) + ".out"));
      // The same writer made it: the same kind of file, begun the same way.
      EXPECT_EQ(firstline(bytes), firstline(fromtest)) << way << " " << f.option;
    }
  }
}

TEST(CliOutputTable, OnlyTheRowsThatMayTakeStdoutDoAndTheResultsTextMovesToStderr) {
  TTargetServer target;
  TTempDir dir;
  const TCliResult test = clirun(dir, "-q --users 2 --json a.json " + quoted(target.url("/")));
  ASSERT_EQ(test.status, 0) << test.err;

  for (const TOutputFormat& f : outputformats()) {
    // Through --report, which checks and writes its outputs as a test does and needs no server.
    const TCliResult r = clirun(dir, "--report a.json " + std::string(f.option) + " -");
    if (!f.tostdout) {
      EXPECT_EQ(r.status, 2) << f.option;
      EXPECT_NE(r.err.find(std::string(f.option) + ": cannot write to stdout; give a file name"),
                std::string::npos)
          << r.err;
      EXPECT_EQ(r.out, "") << f.option;
      continue;
    }
    ASSERT_EQ(r.status, 0) << f.option << ": " << r.err;
    const TCliResult file = clirun(dir, "-q --report a.json " + std::string(f.option) + " b.out");
    ASSERT_EQ(file.status, 0) << file.err;
    EXPECT_EQ(r.out, readfile(dir.file("b.out"))) << f.option;
    EXPECT_NE(r.err.find("Results of run 1"), std::string::npos) << f.option << ": " << r.err;
  }
}
