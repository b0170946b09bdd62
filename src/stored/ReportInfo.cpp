#include "stored/ReportInfo.h"

#include <cstdio>
#include <ctime>
#include <random>

namespace {

std::string utcformat(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[64];
  std::strftime(text, sizeof text, format, &tm);
  return text;
}

}  // namespace

std::string newtestid() {
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(random()));
  return utcformat("%Y%m%dT%H%M%SZ") + suffix;
}

std::string utcnow() {
  return utcformat("%Y-%m-%dT%H:%M:%SZ");
}
