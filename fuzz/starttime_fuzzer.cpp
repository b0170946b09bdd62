// Start times from arbitrary text: never a crash, a refusal always says why, and an accepted
// time prints back as RFC 3339 that reads as the same instant.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "segments/StartTime.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int64_t at = 0;
  std::string error;
  if (!parsestarttime(text, at, error)) {
    check(!error.empty());
    return 0;
  }
  // The checks made on every accepted time must hold for any of them.
  startinpast(at, 1796639400000);
  starttoofar(at, 1796639400000);
  const std::string printed = rfc3339(at);
  int64_t again = 0;
  // Years 1970 to 9999 print in full and read back as the same instant.
  if (at >= 0 && at < 253402300800000) {
    check(parsestarttime(printed, again, error) && again == at);
  }
  return 0;
}
