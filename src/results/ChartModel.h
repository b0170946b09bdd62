#pragma once
// TChartModel: what the two result charts show — one point per completed request, the ramp
// curves, titles and the four foot lines of the request chart. The engine writes it; the window
// draws it in batches (it compares generations and counts, as with the log model).
//
// Drawing a chart from it, Qt-free: ChartStyle.h (colours, point sizes), ChartAxis.h (ranges and
// 1-2-5 ticks with their labels), ChartLayout.h (where title, axes, labels, foot lines and points
// stand for a given size). The window draws the layout in gui/ChartPainter.h.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "results/Outcome.h"

struct TChartPoint {
  long double x;   // start of the request, ms after the test start
  long double y;   // user wait time, ms
  int statuscode;  // 200 green, 0 black "TimeOut", anything else red "E" + code
  // The server's own time (kernel stamps) to the response's last and first byte, ms; negative
  // when none. Floats keep the point's size.
  float server = -1, serverttfb = -1;
  // The request's socket code: an aborted request and this machine's own failures are classes
  // of their own, whatever status they carry. It fits the padding: the point keeps its size.
  int socketcode = 0;
  // The connection's phases, ms: connect call to connection up, and that to the end of the TLS
  // handshake; negative when there was none (no connection, plain HTTP) or it is not known.
  float connect = -1, tls = -1;
  TOutcome outcome() const { return outcomeof(statuscode, socketcode); }
};

struct TRampPoint {
  int users;
  long double y;
  std::string label;  // "ok" or "15% Errors"; empty on the wait-time curve
};

// How many request points one status code has.
struct TOutcomeCount {
  int statuscode = 0;
  size_t count = 0;
  bool operator==(const TOutcomeCount&) const = default;
};

class TChartModel {
 public:
  // Test start: every series emptied, titles and foot lines set anew.
  void clear();
  void clearrequests();
  void clearramps();

  void settitles(const std::string& chart1, const std::string& chart2);
  void setfoot(int line, const std::string& text);  // lines 0 .. 3
  void addrequest(long double x, long double y, int statuscode, double server = -1,
                  double serverttfb = -1, int socketcode = 0, double connect = -1, double tls = -1);
  void addramp(int users, long double avgproc, const std::string& label);  // series "ramps"
  void addrampwait(int users, long double avgwait);                        // series "ramps3"

  const std::string& chart1title() const { return chart1title_; }
  const std::string& chart2title() const { return chart2title_; }
  // Only a ramp test's charts have a second title: the ramp chart shows then.
  bool hasrampchart() const { return !chart2title_.empty(); }
  const std::array<std::string, 4>& foot() const { return foot_; }
  const std::vector<TChartPoint>& requests() const { return requests_; }
  // The largest start offset and wait time of the request points (0 while there are none).
  long double requestmaxx() const { return maxx_; }
  long double requestmaxy() const { return maxy_; }
  // The request points' status codes with their counts: 200 first, then the other codes from the
  // commonest to the rarest (equal counts: the lower code first).
  std::vector<TOutcomeCount> outcomes() const;
  // The request points of one outcome class.
  size_t outcomecount(TOutcome o) const { return classes_[static_cast<size_t>(o)]; }
  const std::vector<TRampPoint>& ramps() const { return ramps_; }
  const std::vector<TRampPoint>& rampwaits() const { return rampwaits_; }

  // Bumped whenever points were removed (a view then redraws from the start).
  uint64_t requestgeneration() const { return requestgen_; }
  uint64_t rampgeneration() const { return rampgen_; }
  // Bumped whenever a title or a foot line changes.
  uint64_t textrevision() const { return textrev_; }

  // The label of a request point: none for 200, "TimeOut" for 0, else "E" + code ("E404").
  static std::string pointlabel(int statuscode);

 private:
  std::string chart1title_, chart2title_;
  std::array<std::string, 4> foot_;
  std::vector<TChartPoint> requests_;
  long double maxx_ = 0, maxy_ = 0;
  std::vector<TOutcomeCount> counts_;  // in order of first appearance
  std::array<size_t, 5> classes_{};    // by TOutcome
  std::vector<TRampPoint> ramps_, rampwaits_;
  uint64_t requestgen_ = 0, rampgen_ = 0, textrev_ = 0;
};

// The cumulative share of the times (negative ones left out) as a step curve of at most about
// maxpoints points: for each share s, the time within which s % of the requests were done.
std::vector<std::pair<double, double>> cumulativeshare(std::vector<double> times,
                                                       size_t maxpoints = 1000);
