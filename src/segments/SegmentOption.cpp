#include "segments/SegmentOption.h"

#include <charconv>
#include <cstdio>

#include "engine/LoadEngine.h"
#include "segments/StartTime.h"

namespace {

// Whole decimal text to a positive int; no sign, no blanks, no base prefix.
bool decimal(const std::string& text, int& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool parsesegment(const std::string& text, TSegmentChoice& out, std::string& error) {
  size_t slash = text.find('/');
  int i = 0, k = 0;
  if (slash == std::string::npos || !decimal(text.substr(0, slash), i) ||
      !decimal(text.substr(slash + 1), k)) {
    error = "\"" + text + "\" is not I/K (for example 2/4)";
    return false;
  }
  if (k > kMaxSegments) {
    error = "\"" + text + "\": at most " + std::to_string(kMaxSegments) + " segments";
    return false;
  }
  if (k < 1) {
    error = "\"" + text + "\": the number of segments K must be at least 1";
    return false;
  }
  if (i < 1 || i > k) {
    error = "\"" + text + "\": the segment number must be 1 to " + std::to_string(k);
    return false;
  }
  out = {i, k};
  return true;
}

bool segmentfromindex(int segments, const char* index, TSegmentChoice& out, std::string& error) {
  if (segments < 1 || segments > kMaxSegments) {
    error = "the number of segments must be 1 to " + std::to_string(kMaxSegments);
    return false;
  }
  if (index == nullptr) {
    error = "JOB_COMPLETION_INDEX is not set (a Kubernetes Indexed Job sets it in every pod)";
    return false;
  }
  int i = 0;
  if (!decimal(index, i) || i >= segments) {
    error = "JOB_COMPLETION_INDEX \"" + std::string(index) + "\" is not an index 0 to " +
            std::to_string(segments - 1);
    return false;
  }
  out = {i + 1, segments};
  return true;
}

std::string segmenttestid(const std::string& settings, int segments,
                          std::optional<int64_t> startat) {
  // FNV-1a: stable across hosts and builds, which std::hash is not.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : settings) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  std::string when = "unscheduled";
  if (startat) {
    when.clear();
    for (char c : rfc3339(*startat)) {
      if (c != '-' && c != ':') when += c;
    }
  }
  char tail[32];
  std::snprintf(tail, sizeof tail, "-k%d-%08x", segments, static_cast<unsigned>(hash >> 32));
  return when + tail;
}

int64_t plannedrequests(const TestSettings& s, int segment, int segments) {
  int64_t total = 0;
  for (int r = 0; r < s.runs; ++r) {
    const int64_t users = s.ramptest ? rampusers(s.users, s.runs, r) : s.users;
    // Users segment, segment + K, segment + 2K ... up to users.
    if (users >= segment) total += (users - segment) / segments + 1;
  }
  return total;
}
