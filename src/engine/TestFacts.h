#pragma once
// What a result file says of the test the engine ran, as the engine knows it: the hosts hand these
// to the result's description (report/TestInfo), which then needs nothing else of the engine.

#include <cstddef>
#include <optional>

struct TTestFacts {
  long double teststart = 0;  // the test clock's zero, on the engine's clock (elapsedms)
  bool aborted = false;
  // The first response's length in characters as its source view counts them, and its body's
  // bytes as they came; nullopt until it has completed.
  std::optional<size_t> firstresponselength, firstresponsebytes;
};
