#include "http/HttpCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(EncodeBase64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"u:p", "dTpw"},
      {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(EncodeBase64(in), out) << in;
  EXPECT_EQ(EncodeBase64(std::string("\xff\xfe\x00", 3)), "//4A");
  EXPECT_EQ(EncodeBase64(std::string(100, 'x')).find('\n'), std::string::npos);
}

TEST(FormatHttpDate, DaysFrom1899) {
  const std::pair<double, const char*> cases[] = {
      {0, "Sat, 30 Dec 1899 00:00:00"},
      {1, "Sun, 31 Dec 1899 00:00:00"},
      {2, "Mon, 01 Jan 1900 00:00:00"},
      {25569, "Thu, 01 Jan 1970 00:00:00"},
      {36526.5, "Sat, 01 Jan 2000 12:00:00"},
      {45000.75, "Wed, 15 Mar 2023 18:00:00"},
      {43890, "Sat, 29 Feb 2020 00:00:00"},
      {25569 + 1.0 / 86400 * 3661, "Thu, 01 Jan 1970 01:01:01"},
      // Before day 0 the fraction is the time of the day named by the whole part.
      {-1.25, "Fri, 29 Dec 1899 06:00:00"},
      {-0.5, "Sat, 30 Dec 1899 12:00:00"},
      // Rounding to the millisecond may carry into the next day.
      {0.99999999999, "Sun, 31 Dec 1899 00:00:00"},
      // Years below 1000 keep four digits.
      {-693593, "Mon, 01 Jan 0001 00:00:00"},
  };
  for (const auto& [t, text] : cases) EXPECT_EQ(FormatHttpDate(t), text) << t;
}

TEST(FormatHttpDate, OutOfRangeValuesAreClamped) {
  EXPECT_EQ(FormatHttpDate(1e300), "Fri, 31 Dec 9999 23:59:59");
  EXPECT_EQ(FormatHttpDate(-1e300), "Mon, 01 Jan 0001 00:00:00");
  EXPECT_EQ(FormatHttpDate(std::numeric_limits<double>::quiet_NaN()), FormatHttpDate(0));
  EXPECT_EQ(FormatHttpDate(std::numeric_limits<double>::infinity()), FormatHttpDate(1e300));
}

}  // namespace
