#include "gui/PlotWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QPrintDialog>
#include <algorithm>

TPlotWidget::TPlotWidget(const QString& name, const TChartModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setObjectName(name);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The chart takes what the panel gives it and never widens the window.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  print_ = new QAction("Print Graph", this);
  copy_ = new QAction("Copy Graph", this);
  connect(print_, &QAction::triggered, this, &TPlotWidget::PrintGraphClick);
  connect(copy_, &QAction::triggered, this, &TPlotWidget::CopyGraphClick);
  addAction(print_);
  addAction(copy_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TPlotWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  paintchart(p, rect());
}

QImage TPlotWidget::image() const {
  QImage img(size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  paintchart(p, QRectF(QPointF(0, 0), size()));
  return img;
}

void TPlotWidget::printto(QPrinter& printer) const {
  // A chart is wider than high: landscape uses the paper best.
  printer.setPageOrientation(QPageLayout::Landscape);
  QPainter p(&printer);
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double width = std::max(1000, this->width());
  const double scale = page.width() / width;
  p.scale(scale, scale);
  paintchart(p, QRectF(0, 0, width, page.height() / scale));
}

void TPlotWidget::PrintGraphClick() {
  QPrinter printer;
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) printto(printer);
}

void TPlotWidget::CopyGraphClick() {
  QApplication::clipboard()->setImage(image());
}
