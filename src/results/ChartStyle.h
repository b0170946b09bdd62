#pragma once
// The fixed look of the result charts: colours and point sizes, in one place for the window, the
// printed report and the SVG writer.

#include <cstdint>

#include "results/Outcome.h"

struct TChartColour {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const TChartColour&) const = default;
};

namespace chartstyle {

inline constexpr TChartColour kBackground{255, 255, 255};
inline constexpr TChartColour kText{0, 0, 0};
inline constexpr TChartColour kAxis{0, 0, 0};
inline constexpr TChartColour kGrid{208, 208, 208};
inline constexpr TChartColour kOk{0, 128, 0};             // status 200
inline constexpr TChartColour kError{255, 0, 0};          // any other status
inline constexpr TChartColour kTimeOut{0, 0, 0};          // status 0, no status line
inline constexpr TChartColour kAborted{150, 150, 150};    // ended by Abort
inline constexpr TChartColour kClientError{255, 140, 0};  // this machine's own failure
inline constexpr TChartColour kRampProc{0, 0, 0};         // series "ramps"
inline constexpr TChartColour kRampWait{0, 64, 0};        // series "ramps3"

// The wait distributions of a baseline and of the test compared with it.
inline constexpr TChartColour kBaseline{0, 0, 192};
inline constexpr TChartColour kThisTest{208, 0, 0};

// A request point is a filled square reaching this many pixels to each side of its centre.
inline constexpr int kRequestPointHalf = 2;
// The ramp curves' square and triangle markers.
inline constexpr int kRampMarkerHalf = 4;

// The colour of a request point by its status code.
constexpr TChartColour pointcolour(int statuscode) {
  return statuscode == 200 ? kOk : statuscode == 0 ? kTimeOut : kError;
}

// The colour of an outcome class.
constexpr TChartColour outcomecolour(TOutcome o) {
  switch (o) {
    case ocOk:
      return kOk;
    case ocTimeout:
      return kTimeOut;
    case ocAborted:
      return kAborted;
    case ocClientError:
      return kClientError;
    case ocError:
      break;
  }
  return kError;
}

}  // namespace chartstyle
