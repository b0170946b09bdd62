#pragma once
// Numbers as the logs and foot lines print them: the nearest integer, halves to even.

#include <cmath>
#include <string>

// Nearest integer with halves to even (the default rounding mode), as decimal text. rint rounds
// as nearbyint does, without saving and restoring the floating-point state each time.
inline std::string rounded(long double value) {
  return std::to_string(static_cast<long long>(std::rint(value)));
}
