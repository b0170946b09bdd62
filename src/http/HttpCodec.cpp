#include "http/HttpCodec.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

std::string EncodeBase64(std::string_view bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                 uint32_t(uint8_t(bytes[i + 2]));
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

namespace {

// Day numbers of 0001-01-01 and 9999-12-31 counted from 1899-12-30.
constexpr int64_t firstday = -693593;
constexpr int64_t lastday = 2958465;
constexpr int64_t msperday = 86400000;

}  // namespace

std::string FormatHttpDate(double t) {
  if (std::isnan(t)) t = 0;
  // The whole part is the date and the fraction's magnitude the time of day, also before day 0.
  int64_t days;
  int64_t ms;
  if (t < double(firstday)) {
    days = firstday;
    ms = 0;
  } else if (t >= double(lastday + 1)) {
    days = lastday;
    ms = msperday - 1000;
  } else {
    double whole = std::trunc(t);
    days = int64_t(whole);
    ms = std::llround(std::fabs(t - whole) * double(msperday));
    if (ms >= msperday) {  // 23:59:59.9996 rounds into the next day
      ms -= msperday;
      if (days < lastday)
        ++days;
      else
        ms = msperday - 1000;
    }
  }
  static const char daynames[] = "MonTueWedThuFriSatSun";
  static const char monthnames[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  int64_t dow = ((days - 2) % 7 + 7) % 7;  // day 0 was a Saturday
  const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(days - 25569))};
  const int year = int(date.year());
  const int month = int(unsigned(date.month()));
  const int day = int(unsigned(date.day()));
  int64_t secs = ms / 1000;
  char text[64];
  std::snprintf(text, sizeof text, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d", daynames + dow * 3,
                day, monthnames + (month - 1) * 3, year, int(secs / 3600), int(secs / 60 % 60),
                int(secs % 60));
  return text;
}
