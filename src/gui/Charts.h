#pragma once
// TResultCharts: the graph panel Panel3 of the "Graph" tab with the request chart Chart1 (one
// point per completed request, coloured by outcome) above the ramp chart Chart2 (one point per
// ramp step). The engine fills them; this class only draws.

#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <map>
#include <vector>

#include "gui/CaptionPanel.h"
#include "gui/ChartBox.h"

struct TRequestPoint {
  double x = 0;  // start of the request since the test start, ms
  double y = 0;  // the user's wait time, ms
  int statuscode = 0;
};

class TResultCharts : public TCaptionPanel {
 public:
  explicit TResultCharts(QWidget* parent = nullptr);

  void setChart1Title(const QString& title);
  void setChart2Title(const QString& title);
  QString chart1Title() const;
  QString chart2Title() const;

  // Foot line i (0 .. 3) of Chart1.
  void setFootLine(int i, const QString& text);
  QString footLine(int i) const;

  // Empties the request points and both ramp series and resets the automatic axes.
  void clear();
  void clearrequests();
  void clearramps();

  // Appends a batch of request points, one series per status code: green for 200, black and
  // "TimeOut" for 0, red and "E" + code for any other.
  void addRequestPoints(const std::vector<TRequestPoint>& batch);
  // Appends one ramp step: avgproc to "ramps" with its label shown, avgwait to "ramps3".
  void addRampPoint(int users, double avgproc, const QString& label, double avgwait);

  TChartBox* chart1() const { return chart1_; }
  TChartBox* chart2() const { return chart2_; }
  // The first series of one status code (all of a code's series look alike), nullptr while it has
  // no point.
  QScatterSeries* requestseries(int statuscode) const;
  // Points of one status code, and of all.
  int requestpointcount(int statuscode) const;
  int requestpointcount() const;
  QLineSeries* ramps() const { return ramps_; }
  QLineSeries* ramps3() const { return ramps3_; }

  // The label a request point of this status code carries ("" for 200).
  static QString pointlabel(int statuscode);
  static QColor pointcolour(int statuscode);

 protected:
  // Chart2 always takes half of the panel's height (Panel3Resize).
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildchart1();
  void buildchart2();
  void placerampmarks();

  TChartBox* chart1_;
  TChartBox* chart2_;
  QValueAxis* x1_ = nullptr;
  QValueAxis* y1_ = nullptr;
  QValueAxis* x2_ = nullptr;
  QValueAxis* yleft2_ = nullptr;
  QValueAxis* yright2_ = nullptr;
  QScatterSeries* newrequestseries(int statuscode);
  static constexpr int kSeriesPoints = 1000;
  std::map<int, std::vector<QScatterSeries*>> series_;
  QLineSeries* ramps_ = nullptr;
  QLineSeries* ramps3_ = nullptr;
  std::vector<QGraphicsSimpleTextItem*> rampmarks_;
  double maxx1_ = 0, maxy1_ = 0;
  double maxx2_ = 0, maxleft2_ = 0, maxright2_ = 1;
};
