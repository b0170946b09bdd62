#include "cli/OutputTable.h"

#include "report/CsvReport.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"

const std::string& TOutputSource::json() const {
  if (!json_) json_ = jsonreport(info, records, figures);
  return *json_;
}

namespace {

std::string json(const TOutputSource& s, bool tostdout) {
  return tostdout && s.stdoutjson ? s.stdoutjson(s.json()) : s.json();
}

std::string csv(const TOutputSource& s, bool) {
  return csvreport(s.records);
}

std::string html(const TOutputSource& s, bool) {
  return htmlreport(s.info, s.logs, s.charts, s.figures, s.records, s.baselinehtml);
}

}  // namespace

const std::vector<TOutputFormat>& outputformats() {
  static const std::vector<TOutputFormat> formats = {
      {"--json", "Write the results as JSON to FILE", true, kNeedsRecords | kNeedsFigures, json},
      {"--requests-csv", "Write one CSV row per request to FILE", true, kNeedsRecords, csv},
      {"--html", "Write a self-contained HTML report with charts to FILE", false, kNeedsFigures,
       html},
  };
  return formats;
}

std::string stdoutoptions() {
  std::vector<const char*> options;
  for (const TOutputFormat& f : outputformats()) {
    if (f.tostdout) options.push_back(f.option);
  }
  std::string text;
  for (size_t i = 0; i < options.size(); ++i) {
    if (i > 0) text += i + 1 == options.size() ? " and " : ", ";
    text += options[i];
  }
  return text;
}
