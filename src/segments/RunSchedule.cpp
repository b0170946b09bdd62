#include "segments/RunSchedule.h"

#include <cmath>
#include <sstream>

#include "segments/StartTime.h"

namespace {

std::string tenths(double v) {
  std::ostringstream s;
  s << std::nearbyint(v * 10) / 10;
  return s.str();
}

}  // namespace

int64_t derivedinterval(int waitseconds) {
  return int64_t(waitseconds) * 1000 + kRunAllowanceMs;
}

uint64_t TRunSchedule::delay(int run, double nowms) {
  const double left = double(instant(run)) - nowms;
  if (left > 0) return static_cast<uint64_t>(std::ceil(left));
  note(run, -left);
  return 0;
}

void TRunSchedule::fired(int run, double nowms) {
  note(run, std::max(0.0, nowms - double(instant(run))));
}

void TRunSchedule::note(int run, double latems) {
  if (run < 1) return;
  if (late_.size() < size_t(run)) late_.resize(size_t(run), 0);
  // A run noted late when it was scheduled keeps the larger figure when it fires.
  late_[size_t(run - 1)] = std::max(late_[size_t(run - 1)], latems);
}

std::string TRunSchedule::statement() const {
  std::string s = "runs fire every " + tenths(double(interval_) / 1000) + " s from the start at " +
                  rfc3339(start_);
  if (derived_)
    s += " (the wait between runs plus " + std::to_string(kRunAllowanceMs / 1000) +
         " s; give --run-interval to change it)";
  return s;
}

std::string TRunSchedule::json() const {
  return "{\"start_epoch_ms\":" + std::to_string(start_) +
         ",\"interval_ms\":" + std::to_string(interval_) +
         ",\"interval_derived\":" + (derived_ ? "true" : "false") + "}";
}

std::vector<std::string> latelines(const std::vector<std::vector<double>>& late) {
  std::vector<std::string> lines;
  size_t runs = 0;
  for (const auto& s : late) runs = std::max(runs, s.size());
  for (size_t r = 0; r < runs; ++r) {
    for (size_t s = 0; s < late.size(); ++s) {
      if (r < late[s].size() && late[s][r] > 1) {
        lines.push_back("Run " + std::to_string(r + 1) + ": segment " + std::to_string(s + 1) +
                        " fired " + tenths(late[s][r]) + " ms late");
      }
    }
  }
  return lines;
}
