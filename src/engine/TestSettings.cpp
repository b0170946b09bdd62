#include "engine/TestSettings.h"

#include <cctype>

std::string testdescription(const TestSettings& s, bool withproxy) {
  std::string d = std::to_string(s.users) + " simultaneous users";
  if (s.ramptest) d = "ramp test with up to " + std::to_string(s.users) + " simultaneous users";
  if (s.useuser) {
    if (s.usersfromfile) {
      d += ", Use usernames from \"users.txt\"";
    } else {
      d += ", Username=\"" + s.username + "\" ";
    }
  }
  if (s.runs > 1) d += " - " + std::to_string(s.runs) + " runs";
  // A wait of 0 or 1 second is not worth mentioning.
  if (s.waitperrun > 1) d += " - wait for " + std::to_string(s.waitperrun) + "s";
  if (withproxy && s.useproxy) d += " - using proxy: " + s.proxy + ":" + s.proxyport;
  return d;
}

namespace {

bool ishttps(const std::string& url) {
  size_t start = url.find_first_not_of(" \t");
  if (start == std::string::npos || url.size() - start < 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    if (char(std::tolower(static_cast<unsigned char>(url[start + i]))) != "https://"[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool testshttps(const TestSettings& s, const std::vector<std::string>& urls) {
  if (!s.multipleurls) return ishttps(s.url);
  for (const std::string& url : urls) {
    if (ishttps(url)) return true;
  }
  return false;
}

std::string trusttext(const TestSettings& s) {
  if (s.insecure) return "certificates not checked (insecure)";
  if (s.cafile.empty()) return "certificates checked against the system's store";
  return "certificates checked against the system's store and " + s.cafile;
}
