#include "results/Clock.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <locale>

int64_t clockbase = 0;
int64_t clockfrequency = 0;

namespace {

constexpr int64_t nanopersecond = 1000000000;

}  // namespace

int64_t clockcounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * nanopersecond + ts.tv_nsec;
}

int64_t realtimeoffset() {
  int64_t best = 0, window = -1;
  for (int i = 0; i < 5; ++i) {
    timespec a{}, r{}, b{};
    clock_gettime(CLOCK_MONOTONIC, &a);
    clock_gettime(CLOCK_REALTIME, &r);
    clock_gettime(CLOCK_MONOTONIC, &b);
    const int64_t mono0 = static_cast<int64_t>(a.tv_sec) * nanopersecond + a.tv_nsec;
    const int64_t mono1 = static_cast<int64_t>(b.tv_sec) * nanopersecond + b.tv_nsec;
    const int64_t real = static_cast<int64_t>(r.tv_sec) * nanopersecond + r.tv_nsec;
    if (window < 0 || mono1 - mono0 < window) {
      window = mono1 - mono0;
      best = real - (mono0 + (mono1 - mono0) / 2);
    }
  }
  return best;
}

uint32_t tickcount() {
  timespec ts{};
  // Boot time counts suspended time too, as a tick count since start-up should; the coarse
  // monotonic clock stands in on kernels without it.
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void startclock() {
  clockfrequency = nanopersecond;
  clockbase = clockcounter();
}

long double elapsedms() {
  if (clockfrequency == 0) return tickcount();
  return static_cast<long double>(clockcounter() - clockbase) / clockfrequency * 1000;
}

char localedecimalpoint() {
  try {
    char point = std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
    return point != 0 ? point : '.';
  } catch (...) {
    // An unknown locale name in the environment: fall back to the classic separator.
    return '.';
  }
}

std::string formatshortest(long double value, int decimals) {
  return formatshortest(value, decimals, localedecimalpoint());
}

std::string formatshortest(long double value, int decimals, char decimalpoint) {
  if (decimals < 0) decimals = 0;
  if (decimals > 30) decimals = 30;
  if (!std::isfinite(value)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%Lg", value);
    return buf;
  }
  // Fixed notation keeps the rounding to `decimals` exact; %g would show the binary residue of
  // the rounded value ("0.279364999999999999") at high precision.
  int n = std::snprintf(nullptr, 0, "%.*Lf", decimals, value);
  std::string text(static_cast<size_t>(n), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.*Lf", decimals, value);
  // printf writes the C library's LC_NUMERIC separator, which need not be '.'.
  size_t point = text.find_first_not_of("-0123456789");
  if (point != std::string::npos) {
    size_t end = text.find_last_not_of('0');
    if (end == point) --end;
    text.erase(end + 1);
    if (text.size() > point) text[point] = decimalpoint;
  }
  if (text == "-0") text = "0";
  return text;
}

std::string resolutionline(int64_t frequency) {
  return resolutionline(frequency, localedecimalpoint());
}

std::string resolutionline(int64_t frequency, char decimalpoint) {
  std::string head = "Time measurement resolution: ";
  std::string tail = " \u00B5sec (=1/1000 msec), clock runs at ";
  if (frequency <= 0) return head + "1000" + tail + "0MHz (millisecond tick count)";
  long double r = 1000000.0L / frequency;
  auto f = static_cast<int64_t>(std::nearbyint(static_cast<long double>(frequency) / 1000000.0L));
  return head + formatshortest(r, 6, decimalpoint) + tail + std::to_string(f) + "MHz";
}
