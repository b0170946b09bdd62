#include "engine/Cookies.h"

#include <sys/stat.h>

#include <cctype>
#include <set>

#include "common/OutputText.h"
#include "engine/StartChecks.h"
#include "engine/Texts.h"

std::vector<std::string> setcookievalues(const std::vector<std::string>& headerlines) {
  static const std::string kName = "SET-COOKIE:";
  std::vector<std::string> values;
  for (const auto& line : headerlines) {
    if (line.size() < kName.size()) continue;
    bool match = true;
    for (size_t i = 0; i < kName.size() && match; ++i) {
      match = std::toupper(static_cast<unsigned char>(line[i])) == kName[i];
    }
    if (!match) continue;
    size_t start = kName.size();
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    std::string value = line.substr(start, 5000);
    if (!hasheaderbreak(value)) values.push_back(std::move(value));
  }
  return values;
}

std::vector<std::string> latestpername(const std::vector<std::string>& values) {
  std::set<std::string> seen;
  std::vector<std::string> kept;
  for (auto it = values.rbegin(); it != values.rend(); ++it) {
    if (seen.insert(trimmed(it->substr(0, it->find('=')))).second) kept.push_back(*it);
  }
  return {kept.rbegin(), kept.rend()};
}

std::string joinvalues(const std::vector<std::string>& values, const std::string& separator) {
  std::string out;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += separator;
    out += values[i];
  }
  return out;
}

std::string cookiefromcacheline(const std::string& line) {
  return replaceall(line, "@@", "\r\ncookie: ");
}

bool fileisreadonly(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}
