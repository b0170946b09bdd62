#include "report/CsvReport.h"

#include "common/OutputText.h"

#include <cstdio>

#include "results/Outcome.h"

namespace {

std::string csvfield(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

void appendms(std::string& out, double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", tomicrosecond(v));
  out += text;
}

}  // namespace

std::string csvreport(const TRequestRecords& records) {
  std::string out =
      "run,user,url,start_ms,wait_ms,ttfb_ms,status,socket,bytes,server_ms,server_ttfb_ms,"
      "client_error,connect_ms,tls_ms\n";
  std::vector<std::string> urls;
  for (const std::string& url : records.urls()) urls.push_back(csvfield(maskedurl(url)));
  for (const TRunRecords& r : records.runs()) {
    const std::string run = std::to_string(r.run + 1);
    for (size_t i = 0; i < r.size(); ++i) {
      out += run + ',' + std::to_string(r.user[i]) + ',' + urls[r.url[i]] + ',';
      appendms(out, r.start[i]);
      out += ',';
      appendms(out, r.wait[i]);
      out += ',';
      if (r.firstbyte[i] >= 0) appendms(out, r.firstbyte[i]);
      out += ',' + std::to_string(r.status[i]) + ',' + std::to_string(r.socketcode[i]) + ',' +
             std::to_string(r.bytes[i]) + ',';
      // The server times go last, so the columns before them stay where readers expect them.
      if (r.server[i] >= 0) appendms(out, r.server[i]);
      out += ',';
      if (r.serverttfb[i] >= 0) appendms(out, r.serverttfb[i]);
      out += isclientfailure(r.socketcode[i]) ? ",1," : ",0,";
      if (i < r.connect.size() && r.connect[i] >= 0) appendms(out, r.connect[i]);
      out += ',';
      if (i < r.tls.size() && r.tls[i] >= 0) appendms(out, r.tls[i]);
      out += '\n';
    }
  }
  return out;
}
