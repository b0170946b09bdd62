#include "stored/SegmentFile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "settings/SettingsJson.h"
#include "settings/StoredSettings.h"
#include "stored/SegmentFileChecks.h"

using TJson = nlohmann::json;

namespace {

constexpr int kReadableFormat = 1;
// Bounds no real result reaches, and below which sums over 20000 users in many segments and
// runs stay exact: a milliseconds figure of about 3 years, a byte count of 2^50.
constexpr double kMaxMs = 1e11;
constexpr int64_t kMaxBytes = int64_t(1) << 50;
constexpr double kMaxEpochMs = 253402300800000.0;  // the year 10000
constexpr int64_t kMaxSegments = 1000000;

// A field whose value this program never writes: the merge is refused, naming it.
struct TFieldError {
  std::string field, reason;
};

std::string shown(const TJson& v) {
  std::string text = v.dump();
  return text.size() > 40 ? text.substr(0, 40) + "..." : text;
}

int64_t integerin(const TJson& v, const std::string& field, int64_t min, int64_t max) {
  const std::string range = " (" + std::to_string(min) + " to " + std::to_string(max) + ")";
  if (!v.is_number_integer()) throw TFieldError{field, shown(v) + " is not a whole number"};
  // The parser keeps every whole number of 0 or more as unsigned: its lower bound counts too.
  if (v.is_number_unsigned()
          ? v.get<uint64_t>() > uint64_t(max) || (min > 0 && v.get<uint64_t>() < uint64_t(min))
          : v.get<int64_t>() < min || v.get<int64_t>() > max) {
    throw TFieldError{field, shown(v) + " is out of range" + range};
  }
  return v.get<int64_t>();
}

double numberin(const TJson& v, const std::string& field, double min, double max) {
  if (!v.is_number()) throw TFieldError{field, shown(v) + " is not a number"};
  const double d = v.get<double>();
  if (!std::isfinite(d) || d < min || d > max) {
    std::ostringstream range;
    range << " is out of range (" << min << " to " << max << ")";
    throw TFieldError{field, shown(v) + range.str()};
  }
  return d;
}

const TJson& member(const TJson& j, const char* name, const std::string& field) {
  if (!j.is_object() || !j.contains(name)) throw TFieldError{field + name, "is missing"};
  return j.at(name);
}

// One request column: an array of rows values, each checked by read(value, its field name).
template <typename T, typename Read>
void column(const TJson& columns, const char* name, size_t rows, const std::string& field,
            std::vector<T>& out, Read read) {
  const std::string at = field + "requests." + name;
  const TJson& c = member(columns, name, field + "requests.");
  if (!c.is_array() || c.size() != rows) {
    throw TFieldError{at, "has " + std::to_string(c.is_array() ? c.size() : 0) + " rows, not " +
                              std::to_string(rows)};
  }
  out.reserve(rows);
  for (size_t i = 0; i < rows; ++i)
    out.push_back(T(read(c[i], at + "[" + std::to_string(i) + "]")));
}

// Run k of the file (from 0), checked against the test's settings and the segment's users.
TSegmentRun runfrom(const TJson& j, size_t k, const TSegmentFile& f) {
  const std::string field = "runs[" + std::to_string(k) + "].";
  TSegmentRun r;
  // Runs are written in their order, each one: run k + 1 and no other stands here.
  r.run = int(integerin(member(j, "run", field), field + "run", 1, f.settings.runs));
  if (r.run != int(k) + 1) {
    throw TFieldError{field + "run",
                      std::to_string(r.run) + " where run " + std::to_string(k + 1) + " belongs"};
  }
  r.users = int(integerin(member(j, "users", field), field + "users", 0, f.settings.users));
  const TJson& aborted = member(j, "aborted", field);
  if (!aborted.is_boolean()) throw TFieldError{field + "aborted", "is not true or false"};
  r.aborted = aborted.get<bool>();
  r.overallms = numberin(member(j, "overall_ms", field), field + "overall_ms", 0, kMaxMs);
  if (j.contains("start_loop_ms")) {
    r.startloop.ms = numberin(j.at("start_loop_ms"), field + "start_loop_ms", 0, kMaxMs);
    r.startloop.offsetms = numberin(member(j, "start_loop_offset_ms", field),
                                    field + "start_loop_offset_ms", 0, kMaxMs);
    const TJson& rate = member(j, "start_loop_requests_per_s", field);
    r.startloop.persecond =
        rate.is_null() ? -1 : integerin(rate, field + "start_loop_requests_per_s", 0, kMaxBytes);
  }
  const TJson& c = member(j, "requests", field);
  const TJson& waits = member(c, "wait_ms", field + "requests.");
  const size_t rows = waits.is_array() ? waits.size() : 0;
  auto ms = [](const TJson& v, const std::string& at) { return numberin(v, at, 0, kMaxMs); };
  column(c, "start_ms", rows, field, r.start, ms);
  column(c, "wait_ms", rows, field, r.wait, ms);
  column(c, "ttfb_ms", rows, field, r.firstbyte, [](const TJson& v, const std::string& at) {
    return v.is_null() ? -1.0 : numberin(v, at, 0, kMaxMs);
  });
  // Results written before the server times existed merge with those times missing.
  auto optionalms = [](const TJson& v, const std::string& at) {
    return v.is_null() ? -1.0 : numberin(v, at, 0, kMaxMs);
  };
  for (auto [name, out] : {std::pair{"server_ms", &r.server},
                           {"server_ttfb_ms", &r.serverttfb},
                           {"connect_ms", &r.connect},
                           {"tls_ms", &r.tls}}) {
    if (c.is_object() && c.contains(name)) {
      column(c, name, rows, field, *out, optionalms);
    } else {
      out->assign(rows, -1.0);
    }
  }
  column(c, "status", rows, field, r.status,
         [](const TJson& v, const std::string& at) { return integerin(v, at, 0, 999); });
  column(c, "socket", rows, field, r.socket,
         [](const TJson& v, const std::string& at) { return integerin(v, at, 0, 65535); });
  column(c, "bytes", rows, field, r.bytes,
         [](const TJson& v, const std::string& at) { return integerin(v, at, 0, kMaxBytes); });
  const int64_t urls = int64_t(f.requesturls.size());
  column(c, "url", rows, field, r.url, [urls](const TJson& v, const std::string& at) {
    if (urls == 0) throw TFieldError{at, "names a URL, but request_urls is empty"};
    return integerin(v, at, 0, urls - 1);
  });
  if (rows > size_t(r.users)) {
    throw TFieldError{field + "requests", "has " + std::to_string(rows) + " requests for " +
                                              std::to_string(r.users) + " users"};
  }
  // Users k of a run belong to segment ((k - 1) mod K) + 1, and each completes once.
  std::vector<bool> seen(size_t(f.settings.users) + 1, false);
  column(c, "user", rows, field, r.user, [&](const TJson& v, const std::string& at) {
    const int64_t u = integerin(v, at, 1, f.settings.users);
    if ((u - 1) % f.segments + 1 != f.segment) {
      throw TFieldError{at, "user " + std::to_string(u) + " belongs to segment " +
                                std::to_string((u - 1) % f.segments + 1) + ", not to " +
                                std::to_string(f.segment)};
    }
    if (size_t(u) >= seen.size() || seen[size_t(u)]) {
      throw TFieldError{at, "user " + std::to_string(u) + " completes twice in the run"};
    }
    seen[size_t(u)] = true;
    return u;
  });
  return r;
}

// The optional order statistics of a figures block (null figures of an empty set read as 0).
TPercentiles percentilesfrom(const TJson& j, const std::string& field) {
  TPercentiles p;
  p.count = size_t(integerin(member(j, "count", field + "."), field + ".count", 0, kMaxBytes));
  double* values[] = {&p.min, &p.median, &p.p90, &p.p99, &p.max};
  const char* names[] = {"min", "median", "p90", "p99", "max"};
  for (size_t i = 0; i < 5; ++i) {
    const TJson& v = member(j, names[i], field + ".");
    *values[i] = v.is_null() && p.count == 0 ? 0 : numberin(v, field + "." + names[i], 0, kMaxMs);
  }
  return p;
}

TStoredFigures storedfigures(const TJson& j, const std::string& field) {
  TStoredFigures f;
  auto number = [&](const char* name, double max) {
    return numberin(member(j, name, field), field + name, 0, max);
  };
  if (j.contains("avg_wait_ms")) {
    f.written = true;
    f.errorrate = number("error_rate_percent", 100);
    f.overallms = number("overall_ms", kMaxMs);
    f.avgprocessing = number("avg_request_processing_ms", kMaxMs);
    f.requestsperhour = number("requests_per_hour", 1e15);
    f.avgwait = number("avg_wait_ms", kMaxMs);
    f.throughput = number("throughput_kb_per_s", 1e15);
  }
  if (j.contains("server_ms") && !j.at("server_ms").is_null()) {
    f.hasserver = true;
    f.server = percentilesfrom(j.at("server_ms"), field + "server_ms");
  }
  return f;
}

// merging: a segment's result for a merge, which must carry segment data and must not be a merge
// itself; otherwise any result.
bool readfile(const std::string& path, const std::string& text, TSegmentFile& out,
              std::string& error, bool merging) {
  out = TSegmentFile();
  out.path = path;
  try {
    const TJson doc = TJson::parse(text);
    if (!doc.is_object() || !doc.contains("format") || !doc.contains("test_id")) {
      error = path + ": not a pressbolt-cli JSON result";
      return false;
    }
    // A newer format may mean something else by the same names: refused, never guessed at.
    if (!doc.at("format").is_number_integer() || doc.at("format").get<int>() != kReadableFormat) {
      error = path + ": JSON format " + shown(doc.at("format")) + " cannot be " +
              (merging ? "merged" : "read") + " by this version (it reads format " +
              std::to_string(kReadableFormat) + ")";
      return false;
    }
    if (merging && doc.contains("merged_segments")) {
      error = path + ": a merged result, not the result of one segment";
      return false;
    }
    if (!doc.contains("segment") || !doc.contains("started_epoch_ms")) {
      error = path + ": written without segment data (by an older pressbolt-cli?)";
      return false;
    }
    out.testid = doc.at("test_id").get<std::string>();
    out.started = doc.at("started").get<std::string>();
    const TJson& segment = doc.at("segment");
    out.segments = int(integerin(member(segment, "of", "segment."), "segment.of", 1, kMaxSegments));
    out.segment =
        int(integerin(member(segment, "number", "segment."), "segment.number", 1, out.segments));
    out.epochms = numberin(doc.at("started_epoch_ms"), "started_epoch_ms", 0, kMaxEpochMs);
    out.aborted = doc.at("aborted").get<bool>();
    if (!merging && doc.contains("merged_segments")) {
      out.mergedsegments =
          int(integerin(doc.at("merged_segments"), "merged_segments", 1, kMaxSegments));
    }
    const TJson& settings = doc.at("settings");
    out.settingstext = settings.dump();
    out.settings = settingsfromjson(settings, out.urls, out.postbytes);
    integerin(member(settings, "post_bytes", "settings."), "settings.post_bytes", 0, kMaxBytes);
    integerin(member(settings, "users", "settings."), "settings.users", kMinUsers,
              int64_t(kMaxUsers) * std::max(out.segments, out.mergedsegments));
    integerin(member(settings, "runs", "settings."), "settings.runs", 0, kMaxRuns);
    integerin(member(settings, "wait_s", "settings."), "settings.wait_s", kMinWait, kMaxWait);
    out.requesturls = doc.at("request_urls").get<std::vector<std::string>>();
    if (doc.contains("client_system")) {
      out.clientsystem = doc.at("client_system").get<std::vector<std::string>>();
    }
    if (doc.contains("first_response_length") && !doc.at("first_response_length").is_null()) {
      out.firstresponselength =
          integerin(doc.at("first_response_length"), "first_response_length", 0, kMaxBytes);
    }
    if (doc.contains("first_response_bytes") && !doc.at("first_response_bytes").is_null()) {
      out.firstresponsebytes =
          integerin(doc.at("first_response_bytes"), "first_response_bytes", 0, kMaxBytes);
    }
    const TJson& runs = doc.at("runs");
    if (!runs.is_array() || runs.size() > size_t(out.settings.runs)) {
      throw TFieldError{"runs", "holds " + std::to_string(runs.size()) + " runs of a test of " +
                                    std::to_string(out.settings.runs)};
    }
    for (size_t k = 0; k < runs.size(); ++k) out.runs.push_back(runfrom(runs[k], k, out));
    // The stored figures are read for a merge as well: it makes its own, but a file whose
    // figures contradict its requests is refused alike wherever it is read.
    for (size_t k = 0; k < runs.size(); ++k) {
      const std::string field = "runs[" + std::to_string(k) + "].";
      out.runfigures.push_back(storedfigures(runs[k], field));
      if (out.mergedsegments > 0) {
        out.startspreadms.push_back(numberin(member(runs[k], "segment_start_spread_ms", field),
                                             field + "segment_start_spread_ms", 0, kMaxMs));
      }
    }
    if (doc.contains("totals")) out.totals = storedfigures(doc.at("totals"), "totals.");
    if (const TFileProblem p = fileproblem(out); !p.field.empty()) {
      throw TFieldError{p.field, p.reason};
    }
  } catch (const TFieldError& e) {
    error = path + ": " + e.field + ": " + e.reason;
    return false;
  } catch (const TJson::parse_error& e) {
    error = path + ": not valid JSON (cut off or damaged near byte " + std::to_string(e.byte) + ")";
    return false;
  } catch (const TJson::exception& e) {
    // The library's text without its "[json.exception...]" prefix.
    std::string what = e.what();
    size_t close = what.find("] ");
    error = path +
            ": unexpected content: " + (close == std::string::npos ? what : what.substr(close + 2));
    return false;
  } catch (const std::exception& e) {
    error = path + ": " + e.what();
    return false;
  }
  return true;
}

}  // namespace

bool readsegmentfile(const std::string& path, const std::string& text, TSegmentFile& out,
                     std::string& error) {
  return readfile(path, text, out, error, true);
}

bool readresultfile(const std::string& path, const std::string& text, TSegmentFile& out,
                    std::string& error) {
  return readfile(path, text, out, error, false);
}

bool resultfiles(const std::string& path, const std::string& except,
                 std::vector<std::string>& files, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // "-" is standard input; a named result is a regular file: a device or a FIFO never ends or
  // never begins.
  if (path == "-") {
    files.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, ec)) {
    const fs::file_status st = fs::status(path, ec);
    if (!ec && fs::exists(st) && !fs::is_regular_file(st)) {
      error = "\"" + path + "\" is not a regular file (give \"-\" for standard input)";
      return false;
    }
    if (ec || !std::ifstream(path, std::ios::binary)) {
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
