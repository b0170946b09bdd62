// Stored results read back for --report and --baseline, from arbitrary text: never a crash or an
// exception; a refusal is one line naming the file, and what is accepted can be shown, compared
// with itself and written again.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "report/Baseline.h"
#include "report/JsonReport.h"
#include "report/StoredResult.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TStoredResult r;
  std::string error;
  if (!parsestoredresult("f.json", text, r, error)) {
    check(error.rfind("f.json: ", 0) == 0 && error.find('\n') == std::string::npos);
    return 0;
  }
  check(r.figures.runs.size() == r.records.runs().size());
  for (const TRunFigures& f : r.figures.runs) {
    check(std::isfinite(f.avgwait) && std::isfinite(f.errorrate) && f.errorrate <= 100.0001);
  }
  const TBaselineComparison c = comparebaseline(r, r);
  check(regressions(c, 0).empty());
  check(!baselinetext(c).empty());
  baselinehtml(c);
  check(!jsonreport(r.info, r.records, r.figures).empty());
  return 0;
}
