#include "gui/PlotWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
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
  setFocusPolicy(Qt::StrongFocus);
}

void TPlotWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  paintchart(p, rect());
  paintfocus(p);
}

void TPlotWidget::paintfocus(QPainter& p) const {
  if (!hasFocus()) return;
  // A frame only: some styles' focus rectangle also tints the area, which would recolour the chart.
  p.save();
  p.setPen(QPen(palette().color(QPalette::Highlight), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  p.restore();
}

void TPlotWidget::keyPressEvent(QKeyEvent* event) {
  const bool menukey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
  const bool shiftf10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
  if (!menukey && !shiftf10) {
    QWidget::keyPressEvent(event);
    return;
  }
  // The same event a right click sends, so the menu is the one the mouse opens.
  const QPoint at = rect().center();
  QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at));
  QCoreApplication::sendEvent(this, &menu);
  event->accept();
}

void TPlotWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TPlotWidget::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
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
  if (oncopied) oncopied();
}
