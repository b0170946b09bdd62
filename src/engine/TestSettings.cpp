#include "engine/TestSettings.h"

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
