// A process that fires only one segment of every run's users, so that several load generators
// together send exactly the requests of one test.

#include <stdexcept>

#include "engine/LoadEngine.h"

void TLoadEngine::setsegment(int segment, int segments) {
  if (segments < 1 || segment < 1 || segment > segments) {
    throw std::invalid_argument("segment " + std::to_string(segment) + " of " +
                                std::to_string(segments) + " does not exist");
  }
  segment_ = segment;
  segments_ = segments;
}
