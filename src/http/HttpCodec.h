#pragma once
// Encodings used in request header lines: Base64 for Basic credentials and the date text of
// "If-Modified-Since".

#include <string>
#include <string_view>

// Standard Base64 (alphabet A-Z a-z 0-9 + /), padded with "=" to a multiple of four, no breaks.
std::string EncodeBase64(std::string_view bytes);

// "Sat, 30 Dec 1899 00:00:00" for a date-time given as days since 1899-12-30 (the fraction is the
// time of day, its sign ignored for dates before day 0). No time-zone conversion is made. Values
// outside the years 1 to 9999 (and NaN) are clamped into that range.
std::string FormatHttpDate(double t);
