#include "segments/ClockState.h"

#include <sys/timex.h>

#include <cmath>
#include <sstream>

namespace {

std::string ms(double v) {
  std::ostringstream s;
  s << std::nearbyint(v * 1000) / 1000;
  return s.str();
}

}  // namespace

TClockState clockstate() {
  TClockState c;
  timex t{};
  t.modes = 0;  // read only
  const int state = adjtimex(&t);
  if (state == -1) return c;
  c.known = true;
  c.synchronised = state != TIME_ERROR && (t.status & STA_UNSYNC) == 0;
  c.maxerrorms = double(t.maxerror) / 1000;
  c.esterrorms = double(t.esterror) / 1000;
  return c;
}

std::string clockjson(const TClockState& c) {
  if (!c.known) return "{\"synchronised\":null}";
  return std::string("{\"synchronised\":") + (c.synchronised ? "true" : "false") +
         ",\"max_error_ms\":" + ms(c.maxerrorms) + ",\"est_error_ms\":" + ms(c.esterrorms) + "}";
}

std::vector<std::string> clocklines(const std::vector<TSegmentClock>& clocks) {
  std::vector<std::string> lines, warnings;
  const TSegmentClock* worst = nullptr;
  for (const TSegmentClock& s : clocks) {
    const std::string which = "segment " + std::to_string(s.segment);
    if (!s.clock.known) {
      warnings.push_back("Warning: the clock of " + which + " could not be read");
    } else if (!s.clock.synchronised) {
      warnings.push_back("Warning: the clock of " + which +
                         " was not synchronised: its run starts may be off by any amount");
    }
    if (s.clock.known && (worst == nullptr || s.clock.maxerrorms > worst->clock.maxerrorms)) {
      worst = &s;
    }
  }
  if (worst != nullptr) {
    lines.push_back("Segment clocks: worst maximum error " + ms(worst->clock.maxerrorms) +
                    " ms (segment " + std::to_string(worst->segment) + ")");
  }
  lines.insert(lines.end(), warnings.begin(), warnings.end());
  return lines;
}
