#include "gui/ChartBox.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QPrintDialog>
#include <QVBoxLayout>

TChartBox::TChartBox(const QString& name, int footlines, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  // The copy and the print show the chart on white, whatever the desktop's colours.
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  setPalette(white);
  setAutoFillBackground(true);

  chart_ = new QChart;
  chart_->setBackgroundBrush(Qt::white);
  chart_->setBackgroundRoundness(0);
  chart_->setMargins(QMargins(2, 2, 2, 2));
  // The graph panel is small at the window's design size: smaller texts leave room for points.
  QFont title = font();
  title.setBold(true);
  chart_->setTitleFont(title);
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() - 1);
  chart_->legend()->setFont(small);
  view_ = new QChartView(chart_, this);
  view_->setRenderHint(QPainter::Antialiasing, false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 1);
  if (footlines > 0) {
    lines_ = QStringList(QList<QString>(footlines));
    foot_ = new QLabel(this);
    foot_->setObjectName(name + "Foot");
    foot_->setAlignment(Qt::AlignCenter);
    foot_->setTextFormat(Qt::PlainText);
    foot_->setContentsMargins(0, 0, 0, 4);
    foot_->setFont(small);
    layout->addWidget(foot_);
    showfoot();
  }

  print_ = new QAction("Print Graph", this);
  copy_ = new QAction("Copy Graph", this);
  connect(print_, &QAction::triggered, this, &TChartBox::PrintGraphClick);
  connect(copy_, &QAction::triggered, this, &TChartBox::CopyGraphClick);
  view_->addAction(print_);
  view_->addAction(copy_);
  view_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TChartBox::setfootline(int i, const QString& text) {
  if (i < 0 || i >= lines_.size()) return;
  lines_[i] = text;
  showfoot();
}

QString TChartBox::footline(int i) const {
  return i >= 0 && i < lines_.size() ? lines_[i] : QString();
}

void TChartBox::showfoot() {
  if (foot_) foot_->setText(lines_.join('\n'));
}

QImage TChartBox::image() {
  QImage img(size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  QWidget::render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
  return img;
}

void TChartBox::printto(QPrinter& printer) {
  // A chart is wider than high: landscape uses the paper best.
  printer.setPageOrientation(QPageLayout::Landscape);
  QPainter p(&printer);
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const QSizeF own = size();
  const qreal scale = std::min(page.width() / own.width(), page.height() / own.height());
  p.scale(scale, scale);
  QWidget::render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
}

void TChartBox::PrintGraphClick() {
  QPrinter printer;
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) printto(printer);
}

void TChartBox::CopyGraphClick() {
  QApplication::clipboard()->setImage(image());
}
