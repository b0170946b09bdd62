#pragma once
// TChartBox: one result chart as the user sees it: the chart with its title and axes, the foot
// lines below it, and the context menu "Print Graph" / "Copy Graph".

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QStringList>
#include <QWidget>

class TChartBox : public QWidget {
 public:
  // footlines: the number of foot lines under the chart (0 for none).
  TChartBox(const QString& name, int footlines, QWidget* parent = nullptr);

  QChart* chart() const { return chart_; }
  QChartView* view() const { return view_; }

  // Foot line i (from 0); an index outside the foot is ignored.
  void setfootline(int i, const QString& text);
  QString footline(int i) const;

  // The chart with its foot lines at its current size, drawn on white.
  QImage image();
  // Draws the chart with its foot lines on a landscape page of the printer, scaled to the page
  // and keeping the proportions.
  void printto(QPrinter& printer);

  // "Print Graph": print dialog, landscape. "Copy Graph": image() onto the clipboard.
  void PrintGraphClick();
  void CopyGraphClick();

  QAction* printaction() const { return print_; }
  QAction* copyaction() const { return copy_; }

 private:
  void showfoot();

  QChart* chart_;
  QChartView* view_;
  QLabel* foot_ = nullptr;
  QStringList lines_;
  QAction* print_;
  QAction* copy_;
};
