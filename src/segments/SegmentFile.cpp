#include "segments/SegmentFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

using TJson = nlohmann::json;

namespace {

constexpr int kReadableFormat = 1;

template <typename T>
void column(const TJson& columns, const char* name, size_t rows, std::vector<T>& out) {
  const TJson& c = columns.at(name);
  if (!c.is_array() || c.size() != rows) {
    throw std::runtime_error(std::string("request column \"") + name + "\" has " +
                             std::to_string(c.size()) + " rows, not " + std::to_string(rows));
  }
  out.reserve(rows);
  for (const TJson& v : c) out.push_back(v.is_null() ? T(-1) : v.get<T>());
}

TestSettings settingsfrom(const TJson& j, std::vector<std::string>& urls) {
  TestSettings s;
  s.multipleurls = !j.at("urls").is_null();
  if (s.multipleurls) {
    urls = j.at("urls").get<std::vector<std::string>>();
  } else {
    s.url = j.at("url").get<std::string>();
  }
  s.users = j.at("users").get<int>();
  s.runs = j.at("runs").get<int>();
  s.waitperrun = j.at("wait_s").get<int>();
  s.ramptest = j.at("ramp").get<bool>();
  s.usepost = j.at("method").get<std::string>() == "POST";
  if (!j.at("agent").is_null()) {
    s.useagent = true;
    s.agent = j.at("agent").get<std::string>();
  }
  if (!j.at("proxy").is_null()) {
    s.useproxy = true;
    std::string proxy = j.at("proxy").get<std::string>();
    size_t colon = proxy.rfind(':');
    s.proxy = proxy.substr(0, colon);
    s.proxyport = colon == std::string::npos ? std::string() : proxy.substr(colon + 1);
  }
  s.usersfromfile = j.at("users_file").get<bool>();
  if (!j.at("user").is_null()) s.username = j.at("user").get<std::string>();
  s.useuser = s.usersfromfile || !j.at("user").is_null();
  if (!j.at("key_offset").is_null()) {
    s.usekey = true;
    s.keyoffset = j.at("key_offset").get<int64_t>();
  }
  s.preservecookies = j.at("preserve_cookies").get<bool>();
  return s;
}

TSegmentRun runfrom(const TJson& j) {
  TSegmentRun r;
  r.run = j.at("run").get<int>();
  r.users = j.at("users").get<int>();
  r.aborted = j.at("aborted").get<bool>();
  r.overallms = j.at("overall_ms").get<double>();
  const TJson& c = j.at("requests");
  const size_t rows = c.at("wait_ms").size();
  column(c, "start_ms", rows, r.start);
  column(c, "wait_ms", rows, r.wait);
  column(c, "ttfb_ms", rows, r.firstbyte);
  column(c, "status", rows, r.status);
  column(c, "socket", rows, r.socket);
  column(c, "bytes", rows, r.bytes);
  column(c, "user", rows, r.user);
  column(c, "url", rows, r.url);
  return r;
}

}  // namespace

bool readsegmentfile(const std::string& path, const std::string& text, TSegmentFile& out,
                     std::string& error) {
  out = TSegmentFile();
  out.path = path;
  try {
    const TJson doc = TJson::parse(text);
    if (!doc.is_object() || !doc.contains("format") || !doc.contains("test_id")) {
      error = path + ": not a pressbolt-cli JSON result";
      return false;
    }
    if (doc.at("format").get<int>() != kReadableFormat) {
      error = path + ": JSON format " + doc.at("format").dump() + " cannot be merged by this " +
              "version (it reads format " + std::to_string(kReadableFormat) + ")";
      return false;
    }
    if (doc.contains("merged_segments")) {
      error = path + ": a merged result, not the result of one segment";
      return false;
    }
    if (!doc.contains("segment") || !doc.contains("started_epoch_ms")) {
      error = path + ": written without segment data (by an older pressbolt-cli?)";
      return false;
    }
    out.testid = doc.at("test_id").get<std::string>();
    out.started = doc.at("started").get<std::string>();
    out.segment = doc.at("segment").at("number").get<int>();
    out.segments = doc.at("segment").at("of").get<int>();
    out.epochms = doc.at("started_epoch_ms").get<double>();
    out.aborted = doc.at("aborted").get<bool>();
    out.settingstext = doc.at("settings").dump();
    out.settings = settingsfrom(doc.at("settings"), out.urls);
    out.requesturls = doc.at("request_urls").get<std::vector<std::string>>();
    if (doc.contains("client_system")) {
      out.clientsystem = doc.at("client_system").get<std::vector<std::string>>();
    }
    if (doc.contains("first_response_length") && !doc.at("first_response_length").is_null()) {
      out.firstresponselength = doc.at("first_response_length").get<int64_t>();
    }
    for (const TJson& run : doc.at("runs")) out.runs.push_back(runfrom(run));
  } catch (const std::exception& e) {
    error = path + ": " + e.what();
    return false;
  }
  if (out.segments < 1 || out.segment < 1 || out.segment > out.segments) {
    error = path + ": segment " + std::to_string(out.segment) + " of " +
            std::to_string(out.segments) + " does not exist";
    return false;
  }
  for (const TSegmentRun& r : out.runs) {
    for (uint32_t u : r.url) {
      if (u >= out.requesturls.size()) {
        error = path + ": run " + std::to_string(r.run) + " names URL " + std::to_string(u) +
                " of " + std::to_string(out.requesturls.size());
        return false;
      }
    }
  }
  return true;
}

bool resultfiles(const std::string& path, const std::string& except,
                 std::vector<std::string>& files, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(path, ec)) {
    if (!std::ifstream(path, std::ios::binary)) {
      error = "cannot read \"" + path + "\"";
      return false;
    }
    files.push_back(path);
    return true;
  }
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(path, ec)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
    std::error_code same;
    if (!except.empty() && fs::equivalent(entry.path(), except, same)) continue;
    found.push_back(entry.path().string());
  }
  if (ec) {
    error = "cannot list \"" + path + "\": " + ec.message();
    return false;
  }
  if (found.empty()) {
    error = "no .json file in \"" + path + "\"";
    return false;
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
  return true;
}
