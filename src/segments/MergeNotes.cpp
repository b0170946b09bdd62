#include "segments/MergeNotes.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/LoadEngine.h"
#include "segments/RunSchedule.h"

namespace {

using TJson = nlohmann::json;

std::string list(const std::vector<int>& v) {
  std::string s;
  for (int i : v) s += (s.empty() ? "" : ", ") + std::to_string(i);
  return s;
}

int runusers(const TestSettings& s, int runindex) {
  return s.ramptest ? rampusers(s.users, s.runs, runindex) : s.users;
}

// Users of a run of n users that segment i of k held.
int segmentusers(int n, int i, int k) {
  return n >= i ? (n - i) / k + 1 : 0;
}

std::vector<int> missingusers(const TMergedTest& m) {
  std::vector<int> out;
  for (size_t r = 0; r < m.runs.size(); ++r) {
    int n = 0;
    for (int i : m.missing) n += segmentusers(runusers(m.settings, int(r)), i, m.segments);
    out.push_back(n);
  }
  return out;
}

const TSegmentNotes* notesof(const std::vector<TSegmentNotes>& notes, int segment) {
  for (const TSegmentNotes& n : notes) {
    if (n.segment == segment) return &n;
  }
  return nullptr;
}

}  // namespace

bool readsegmentnotes(const std::string& text, TSegmentNotes& out) {
  out = TSegmentNotes();
  // The request columns are most of a result and none of its notes: the parser drops them.
  TJson doc = TJson::parse(
      text,
      [](int, TJson::parse_event_t event, TJson& parsed) {
        return !(event == TJson::parse_event_t::key && parsed == "requests");
      },
      false);
  if (!doc.is_object()) return false;
  if (auto seg = doc.find("segment"); seg != doc.end() && seg->is_object()) {
    out.segment = seg->value("number", 0);
  }
  if (auto c = doc.find("clock"); c != doc.end() && c->is_object()) {
    out.hasclock = true;
    const auto sync = c->find("synchronised");
    out.clock.known = sync != c->end() && sync->is_boolean();
    if (out.clock.known) {
      out.clock.synchronised = sync->get<bool>();
      out.clock.maxerrorms = c->value("max_error_ms", 0.0);
      out.clock.esterrorms = c->value("est_error_ms", 0.0);
    }
  }
  if (auto runs = doc.find("runs"); runs != doc.end() && runs->is_array()) {
    for (const TJson& run : *runs) {
      if (!run.is_object() || !run.contains("late_ms") || !run["late_ms"].is_number()) break;
      out.late.push_back(run["late_ms"].get<double>());
    }
  }
  return true;
}

std::vector<std::string> partiallines(const TMergedTest& m) {
  if (m.missing.empty()) return {};
  const std::string k = std::to_string(m.segments);
  std::vector<std::string> lines;
  lines.push_back(
      "Partial result: " + std::string(m.missing.size() == 1 ? "segment " : "segments ") +
      list(m.missing) + " of " + k + " missing, merged from " +
      std::to_string(m.segments - int(m.missing.size())) + " of " + k + " segments");
  std::string users;
  for (int i : m.missing) {
    users += (users.empty() ? "" : "; ") + std::to_string(i) + ", " +
             std::to_string(i + m.segments) + ", " + std::to_string(i + 2 * m.segments) + " ...";
  }
  lines.push_back("Missing users: " + users);
  const std::vector<int> missing = missingusers(m);
  std::string runs;
  for (size_t r = 0; r < missing.size(); ++r) {
    runs += (runs.empty() ? "" : ", ") + std::string("run ") + std::to_string(r + 1) + ": " +
            std::to_string(missing[r]) + " of " + std::to_string(runusers(m.settings, int(r)));
  }
  if (!runs.empty()) lines.push_back("Users missing per run: " + runs);
  return lines;
}

void notemerge(TMergedTest& m, const std::vector<TSegmentNotes>& notes) {
  m.notes = partiallines(m);
  std::vector<TSegmentClock> clocks;
  std::vector<std::vector<double>> late(size_t(std::max(m.segments, 0)));
  for (const TSegmentNotes& n : notes) {
    if (n.hasclock) clocks.push_back({n.segment, n.clock});
    if (n.segment >= 1 && n.segment <= m.segments) late[size_t(n.segment - 1)] = n.late;
  }
  for (const std::string& line : clocklines(clocks)) m.notes.push_back(line);
  for (const std::string& line : latelines(late)) m.notes.push_back(line);
}

void describemerge(const TMergedTest& m, const std::vector<TSegmentNotes>& notes,
                   TReportInfo& info) {
  if (!m.notes.empty()) info.members.emplace_back("merge_notes", TJson(m.notes).dump());
  if (!m.missing.empty()) {
    TJson partial;
    partial["missing_segments"] = m.missing;
    partial["missing_users_per_run"] = missingusers(m);
    partial["lines"] = partiallines(m);
    info.members.emplace_back("partial", partial.dump());
    const std::vector<std::string> lines = partiallines(m);
    info.partial = lines.front() + ". " + lines.back();
  }
  TJson clocks = TJson::array();
  for (const TSegmentNotes& n : notes) {
    if (!n.hasclock) continue;
    TJson c;
    c["segment"] = n.segment;
    c["synchronised"] = n.clock.known ? TJson(n.clock.synchronised) : TJson(nullptr);
    if (n.clock.known) c["max_error_ms"] = n.clock.maxerrorms;
    clocks.push_back(c);
  }
  if (!clocks.empty()) info.members.emplace_back("segment_clocks", clocks.dump());
  bool anylate = false;
  for (const TSegmentNotes& n : notes) anylate = anylate || !n.late.empty();
  if (!anylate) return;
  for (size_t r = 0; r < m.runs.size(); ++r) {
    TJson late = TJson::array();
    for (int i = 1; i <= m.segments; ++i) {
      const TSegmentNotes* n = notesof(notes, i);
      late.push_back(n != nullptr && r < n->late.size() ? TJson(n->late[r]) : TJson(nullptr));
    }
    info.runmembers.push_back(TJson{{"segment_late_ms", late}}.dump());
  }
}

void readmergenotes(const std::string& text, TMergedTest& m, TReportInfo& info) {
  TJson doc = TJson::parse(
      text,
      [](int depth, TJson::parse_event_t event, TJson& parsed) {
        // Only the top level's small members matter here: the bulky ones are skipped whole.
        return !(depth == 1 && event == TJson::parse_event_t::key &&
                 (parsed == "runs" || parsed == "request_urls"));
      },
      false);
  if (!doc.is_object()) return;
  if (auto n = doc.find("merge_notes"); n != doc.end() && n->is_array()) {
    m.notes.clear();
    for (const TJson& line : *n) {
      if (line.is_string()) m.notes.push_back(line.get<std::string>());
    }
  }
  for (const char* key : {"merge_notes", "partial", "segment_clocks"}) {
    if (auto v = doc.find(key); v != doc.end()) info.members.emplace_back(key, v->dump());
  }
  if (auto p = doc.find("partial"); p != doc.end() && p->is_object()) {
    const auto lines = p->find("lines");
    if (lines != p->end() && lines->is_array() && !lines->empty() && lines->front().is_string() &&
        lines->back().is_string()) {
      info.partial = lines->front().get<std::string>() + ". " + lines->back().get<std::string>();
    }
  }
}
