#include "segments/StartTime.h"

#include <time.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "net/EventLoop.h"

namespace {

// Reads exactly n digits at text[at]; advances at.
bool digits(const std::string& text, size_t& at, size_t n, int& value) {
  if (at + n > text.size()) return false;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  std::from_chars(text.data() + at, text.data() + at + n, value);
  at += n;
  return true;
}

bool expect(const std::string& text, size_t& at, const char* any) {
  if (at >= text.size()) return false;
  for (const char* c = any; *c != 0; ++c) {
    if (text[at] == *c) {
      ++at;
      return true;
    }
  }
  return false;
}

bool parserfc3339(const std::string& text, int64_t& epochms) {
  size_t at = 0;
  int Y, M, D, h, m, s;
  if (!digits(text, at, 4, Y) || !expect(text, at, "-") || !digits(text, at, 2, M) ||
      !expect(text, at, "-") || !digits(text, at, 2, D) || !expect(text, at, "Tt ") ||
      !digits(text, at, 2, h) || !expect(text, at, ":") || !digits(text, at, 2, m) ||
      !expect(text, at, ":") || !digits(text, at, 2, s)) {
    return false;
  }
  const std::chrono::year_month_day date{std::chrono::year(Y), std::chrono::month(unsigned(M)),
                                         std::chrono::day(unsigned(D))};
  if (!date.ok() || h > 23 || m > 59 || s > 59) return false;
  int ms = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    size_t first = at;
    int scale = 100;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      ms += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
    }
    if (at == first) return false;
  }
  int offsetmin = 0;
  if (expect(text, at, "Zz")) {
    offsetmin = 0;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int sign = text[at++] == '-' ? -1 : 1;
    int oh, om;
    if (!digits(text, at, 2, oh) || !expect(text, at, ":") || !digits(text, at, 2, om) || oh > 23 ||
        om > 59) {
      return false;
    }
    offsetmin = sign * (oh * 60 + om);
  } else {
    return false;  // a time without its offset is ambiguous across hosts
  }
  if (at != text.size()) return false;
  const int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  const int64_t seconds = days * 86400 + h * 3600 + m * 60 + s - int64_t(offsetmin) * 60;
  epochms = seconds * 1000 + ms;
  return true;
}

}  // namespace

int64_t epochmsnow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

double preciseepochms() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) * 1000 + static_cast<double>(ts.tv_nsec / 1000) / 1000;
}

bool parsestarttime(const std::string& text, int64_t& epochms, std::string& error) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), epochms);
    if (ec == std::errc() && end == text.data() + text.size()) return true;
  } else if (parserfc3339(text, epochms)) {
    return true;
  }
  error = "\"" + text +
          "\" is neither an RFC 3339 time with its offset (2026-12-07T10:30:00Z) nor epoch "
          "milliseconds";
  return false;
}

std::string startinpast(int64_t at, int64_t now) {
  if (at >= now - 1000) return std::string();
  std::string reason = rfc3339(at) + " is " + std::to_string((now - at) / 1000) +
                       " s in the past; give a time that all segments can still meet";
  // Epoch seconds given where milliseconds are expected land in January 1970.
  if (at < 100000000000) reason += " (epoch milliseconds, not seconds)";
  return reason;
}

std::string starttoofar(int64_t at, int64_t now) {
  if (at - now <= kMaxStartAheadMs) return std::string();
  return rfc3339(at) + " is more than a day (24 h) ahead, the furthest a start may lie";
}

std::string rfc3339(int64_t epochms) {
  time_t seconds = static_cast<time_t>(epochms >= 0 ? epochms / 1000 : (epochms - 999) / 1000);
  int ms = static_cast<int>(epochms - int64_t(seconds) * 1000);
  tm t{};
  gmtime_r(&seconds, &t);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ms);
  return text;
}

std::string utcsecond(double epochms) {
  const std::string precise = rfc3339(static_cast<int64_t>(std::floor(epochms)));
  return precise.substr(0, precise.size() - 5) + "Z";
}

bool waituntil(TEventLoop& loop, int64_t at, const std::function<bool()>& cancelled) {
  // The loop keeps serving (a Ctrl-C handler) until a millisecond before; the rest is one
  // absolute sleep on the wall clock, which no loop timer resolves as finely.
  TTimer tick(loop);
  while (true) {
    if (cancelled && cancelled()) return false;
    int64_t left = at - epochmsnow();
    if (left <= 1) break;
    bool fired = false;
    tick.Start(static_cast<uint64_t>(left - 1 > 100 ? 100 : left - 1), [&fired] { fired = true; });
    while (!fired && !(cancelled && cancelled())) loop.RunOnce(true);
    tick.Stop();
  }
  timespec until{static_cast<time_t>(at / 1000), static_cast<long>(at % 1000) * 1000000};
  while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
  return true;
}
