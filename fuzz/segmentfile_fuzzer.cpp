// Segment results read back for a merge, from arbitrary text: never a crash or an exception, and
// whatever is accepted holds only values a merge can add up.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "stored/SegmentFile.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  TSegmentFile f;
  std::string error;
  if (!readsegmentfile("f.json", text, f, error)) {
    // One line naming the file.
    check(error.rfind("f.json: ", 0) == 0 && error.find('\n') == std::string::npos);
    return 0;
  }
  check(f.segment >= 1 && f.segment <= f.segments);
  check(std::isfinite(f.epochms) && f.epochms >= 0);
  for (size_t k = 0; k < f.runs.size(); ++k) {
    const TSegmentRun& r = f.runs[k];
    check(r.run == int(k) + 1 && r.size() <= size_t(r.users));
    check(r.start.size() == r.size() && r.user.size() == r.size() && r.bytes.size() == r.size());
    for (size_t i = 0; i < r.size(); ++i) {
      check(std::isfinite(r.wait[i]) && r.wait[i] >= 0 && r.bytes[i] >= 0);
      check(r.url[i] < f.requesturls.size());
      check((r.user[i] - 1) % f.segments + 1 == f.segment);
    }
  }
  return 0;
}
