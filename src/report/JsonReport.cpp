#include "report/JsonReport.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "common/OutputText.h"
#include "settings/SettingsJson.h"

using TJson = nlohmann::ordered_json;

namespace {

double ms(double v) {
  return tomicrosecond(v);
}

TJson orderstatistics(const TPercentiles& p) {
  TJson j;
  j["count"] = p.count;
  // Without a single time there is no minimum, median or maximum: null, never a made-up 0.
  auto value = [&p](double v) { return p.count == 0 ? TJson(nullptr) : TJson(ms(v)); };
  j["min"] = value(p.min);
  j["median"] = value(p.median);
  j["p90"] = value(p.p90);
  j["p99"] = value(p.p99);
  j["max"] = value(p.max);
  return j;
}

TJson codes(const std::vector<std::pair<int, size_t>>& tally) {
  TJson j = TJson::object();
  for (const auto& [code, n] : tally) j[std::to_string(code)] = n;
  return j;
}

TJson figuresjson(const TRunFigures& f) {
  TJson j;
  j["completed"] = f.requests;
  j["aborted_requests"] = f.abortedrequests;
  j["client_errors"] = f.clienterrors;
  j["errors"] = f.errors;
  j["error_rate_percent"] = ms(f.errorrate);
  j["overall_ms"] = ms(f.overallms);
  j["avg_request_processing_ms"] = ms(f.avgprocessing);
  j["requests_per_hour"] = std::round(f.requestsperhour);
  j["avg_wait_ms"] = ms(f.avgwait);
  j["bytes"] = f.bytes;
  j["throughput_kb_per_s"] = ms(f.throughput);
  j["wait_ms"] = orderstatistics(f.wait);
  j["ttfb_ms"] = orderstatistics(f.firstbyte);
  j["server_ms"] = orderstatistics(f.server);
  j["server_ttfb_ms"] = orderstatistics(f.serverttfb);
  j["connect_ms"] = orderstatistics(f.connect);
  j["tls_ms"] = orderstatistics(f.tls);
  j["status_codes"] = codes(f.statuses);
  j["socket_codes"] = codes(f.socketcodes);
  return j;
}

template <typename T>
TJson column(const std::vector<T>& values) {
  TJson j = TJson::array();
  for (const T& v : values) j.push_back(v);
  return j;
}

TJson mscolumn(const std::vector<double>& values, bool negativeisnull) {
  TJson j = TJson::array();
  for (double v : values) {
    if (negativeisnull && v < 0) {
      j.push_back(nullptr);
    } else {
      j.push_back(ms(v));
    }
  }
  return j;
}

// A column that may be shorter than the run (read back from an older file): null rows fill it.
TJson phasecolumn(const std::vector<double>& values, size_t rows) {
  TJson j = mscolumn(values, true);
  while (j.size() < rows) j.push_back(nullptr);
  return j;
}

TJson requestcolumns(const TRunRecords& r) {
  TJson j;
  j["start_ms"] = mscolumn(r.start, false);
  j["wait_ms"] = mscolumn(r.wait, false);
  j["ttfb_ms"] = mscolumn(r.firstbyte, true);
  j["server_ms"] = mscolumn(r.server, true);
  j["server_ttfb_ms"] = mscolumn(r.serverttfb, true);
  j["connect_ms"] = phasecolumn(r.connect, r.size());
  j["tls_ms"] = phasecolumn(r.tls, r.size());
  j["status"] = column(r.status);
  j["socket"] = column(r.socketcode);
  j["bytes"] = column(r.bytes);
  j["user"] = column(r.user);
  j["url"] = column(r.url);
  return j;
}

}  // namespace

std::string jsonsettings(const TReportInfo& info) {
  return settingsjson(info.settings, info.urls, info.postbytes).dump();
}

std::string jsonreport(const TReportInfo& info, const TRequestRecords& records,
                       const TTestFigures& figures) {
  TJson doc;
  doc["format"] = kJsonFormat;
  doc["program"] = info.program + " " + kVersion;
  doc["test_id"] = info.testid;
  doc["started"] = info.started;
  doc["aborted"] = info.aborted;
  doc["settings"] = settingsjson(info.settings, info.urls, info.postbytes);
  // A password in a URL is never written: the file is shared as freely as a log.
  if (doc["settings"]["url"].is_string()) {
    doc["settings"]["url"] = maskedurl(doc["settings"]["url"].get<std::string>());
  }
  if (doc["settings"]["urls"].is_array()) {
    for (TJson& url : doc["settings"]["urls"]) url = maskedurl(url.get<std::string>());
  }
  doc["request_urls"] = TJson::array();
  for (const std::string& url : records.urls()) doc["request_urls"].push_back(maskedurl(url));
  doc["runs"] = TJson::array();
  for (size_t i = 0; i < figures.runs.size(); ++i) {
    const TRunFigures& f = figures.runs[i];
    TJson run;
    run["run"] = f.run;
    run["users"] = f.users;
    run["aborted"] = f.aborted;
    run.update(figuresjson(f));
    // The run's "Created ..." line as the test wrote it (a result read back without it: none).
    if (const TStartLoopRecord& loop = records.runs()[i].startloop; loop.known()) {
      run["start_loop_offset_ms"] = ms(loop.offsetms);
      run["start_loop_ms"] = ms(loop.ms);
      run["start_loop_requests_per_s"] =
          loop.persecond >= 0 ? TJson(loop.persecond) : TJson(nullptr);
    }
    if (i < info.startspreadms.size()) run["segment_start_spread_ms"] = ms(info.startspreadms[i]);
    if (i < info.runmembers.size()) run.update(TJson::parse(info.runmembers[i]));
    run["requests"] = requestcolumns(records.runs()[i]);
    doc["runs"].push_back(std::move(run));
  }
  doc["totals"] = figuresjson(figures.totals);
  doc["segment"] = {{"number", info.segment}, {"of", info.segments}};
  if (info.mergedsegments > 0) doc["merged_segments"] = info.mergedsegments;
  doc["started_epoch_ms"] = ms(info.epochms);
  doc["client_system"] = info.clientsystem;
  doc["first_response_length"] =
      info.firstresponselength >= 0 ? TJson(info.firstresponselength) : TJson(nullptr);
  doc["first_response_bytes"] =
      info.firstresponsebytes >= 0 ? TJson(info.firstresponsebytes) : TJson(nullptr);
  for (const auto& [key, value] : info.members) doc[key] = TJson::parse(value);

  // Compact where it is bulky (a run's columns), one line per member where a reader looks.
  std::string text = "{\n";
  size_t n = 0;
  for (const auto& [key, value] : doc.items()) {
    text += "  " + TJson(key).dump() + ": ";
    if (key == "runs") {
      text += "[";
      for (size_t i = 0; i < value.size(); ++i) {
        text += (i == 0 ? "\n    " : ",\n    ") + value[i].dump();
      }
      text += value.empty() ? "]" : "\n  ]";
    } else {
      text += value.dump();
    }
    text += ++n < doc.size() ? ",\n" : "\n";
  }
  return text + "}\n";
}
