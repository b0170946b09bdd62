#pragma once
// The reason text of an HTTP status code, as the logs, the status summaries and the charts' tips
// write it.

#include <cstddef>
#include <string>
#include <string_view>

// Reason text of an HTTP status code; "(unknown http result)" for any code without one, 0 included.
std::string statustext(int code);
// The same text without a copy, for a line written once per request.
std::string_view statusview(int code);

// No status or socket text is longer: a line buffer sized by it holds every one.
inline constexpr size_t kLongestText = 200;
