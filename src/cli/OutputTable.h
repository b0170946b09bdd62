#pragma once
// The outputs pressbolt-cli writes besides its "Results" text, one row each: the option and its
// help, whether it may go to stdout, what a test must keep for it and the writer that makes its
// bytes. The options, the checks of their paths and every way the program ends (a test, a merge,
// a stored result) take them from here, so a new format is one row and its writer in report/.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/RunFigures.h"
#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "results/RequestRecords.h"
#include "stored/ReportInfo.h"

// What the outputs of a finished result are written from.
struct TOutputSource {
  TOutputSource(const TReportInfo& i, const TRequestRecords& r, const TLogModel& l,
                const TChartModel& c, const TTestFigures& f)
      : info(i), records(r), logs(l), charts(c), figures(f) {}

  const TReportInfo& info;
  const TRequestRecords& records;
  const TLogModel& logs;
  const TChartModel& charts;
  const TTestFigures& figures;
  // The comparison with --baseline's section of the HTML report (empty: none).
  std::string baselinehtml;
  // The JSON as it goes to stdout (a split test's segment frames it for its pod's log); unset:
  // as it is.
  std::function<std::string(const std::string&)> stdoutjson;

  // The result's JSON, made once on first use: every output and the comparison read the same.
  const std::string& json() const;
  // After the comparison: the JSON with its "baseline" member.
  void setjson(std::string json) { json_ = std::move(json); }

 private:
  mutable std::optional<std::string> json_;
};

// What a test keeps of its requests for an output: the records, and the figures (worked out from
// the records, sorting every run's times).
enum TOutputNeeds : unsigned { kNeedsRecords = 1, kNeedsFigures = 2 };

struct TOutputFormat {
  const char* option;  // "--json"
  const char* help;    // its line in --help
  bool tostdout;       // "-" may name stdout
  unsigned needs;      // TOutputNeeds
  // The bytes to write; tostdout: they go to this process's stdout.
  std::string (*bytes)(const TOutputSource& source, bool tostdout);
};

// Every output, in the order --help lists them and they are written.
const std::vector<TOutputFormat>& outputformats();

// The options of the outputs that may go to stdout, as --help names them: "--json and
// --requests-csv".
std::string stdoutoptions();
