#pragma once
// TResultCharts: the graph panel Panel3 of the "Graph" tab with the request chart Chart1 above
// the ramp chart Chart2, which shows for a ramp result only. The two share the panel's height:
// half each, unless one of them would be too low to plot while both could. The panel keeps its
// own copy of the chart data; the engine's model reaches it in batches.

#include <vector>

#include "gui/CaptionPanel.h"
#include "gui/RampChart.h"
#include "gui/RequestChart.h"
#include "results/ChartModel.h"

class TResultCharts : public TCaptionPanel {
 public:
  explicit TResultCharts(QWidget* parent = nullptr);

  void setChart1Title(const QString& title);
  void setChart2Title(const QString& title);
  QString chart1Title() const;
  QString chart2Title() const;

  // Foot line i (0 .. 3) of Chart1; another index is ignored.
  void setFootLine(int i, const QString& text);
  QString footLine(int i) const;

  // Empties the request points, the ramp series, or both.
  void clear();
  void clearrequests();
  void clearramps();

  // Appends a batch of request points in completion order.
  void addRequestPoints(const std::vector<TChartPoint>& batch);
  // Replaces both ramp series ("ramps", "ramps3").
  void setRamps(const std::vector<TRampPoint>& ramps, const std::vector<TRampPoint>& waits);

  TRequestChart* chart1() const { return chart1_; }
  TRampChart* chart2() const { return chart2_; }
  const TChartModel& model() const { return model_; }

  // Points of one status code, and of all.
  int requestpointcount(int statuscode) const;
  int requestpointcount() const;

  // The label a request point of this status code carries ("" for 200) and its colour.
  static QString pointlabel(int statuscode);
  static QColor pointcolour(int statuscode);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Chart2's height: half of the panel's, moved where that leaves a chart too low to plot and
  // another split lets both plot.
  void sharerows();
  TChartModel model_;
  TRequestChart* chart1_;
  TRampChart* chart2_;
};
