#pragma once
// TPlotWidget: a result chart as the user sees it, drawn by our own paint routine, with the
// context menu "Print Graph" / "Copy Graph". Its size follows the layout it sits in; nothing it
// shows ever asks for more room. It takes the focus by Tab and by click (shown by a focus frame),
// and the Menu key or Shift+F10 opens its context menu, so the menu needs no mouse.

#include <QAction>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QWidget>
#include <functional>

#include "gui/ChartPainter.h"

class TPlotWidget : public QWidget {
 public:
  TPlotWidget(const QString& name, const TChartModel& model, QWidget* parent = nullptr);

  // Draws the whole chart into rect of any painter (screen, image, printer, PDF, SVG), laid out
  // at rect's size in the painter's units.
  virtual void paintchart(QPainter& p, const QRectF& rect) const = 0;

  // The chart at the widget's current size, on white.
  virtual QImage image() const;
  // The chart on a landscape page of the printer, laid out at least 1000 units wide with the
  // page's proportions and scaled to fit.
  void printto(QPrinter& printer) const;

  // "Print Graph": print dialog, landscape. "Copy Graph": image() onto the clipboard.
  void PrintGraphClick();
  void CopyGraphClick();

  // Called when "Copy Graph" has put the chart onto the clipboard.
  std::function<void()> oncopied;

  QAction* printaction() const { return print_; }
  QAction* copyaction() const { return copy_; }
  const TChartModel& model() const { return model_; }
  TChartFonts fonts() const { return TChartFonts::from(font()); }

  QSize sizeHint() const override { return QSize(400, 300); }
  QSize minimumSizeHint() const override { return QSize(120, 80); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // The focus frame over what paintEvent drew, while the chart has the focus.
  void paintfocus(QPainter& p) const;

 private:
  const TChartModel& model_;
  QAction* print_;
  QAction* copy_;
};
