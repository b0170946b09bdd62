#include "gui/CaptionPanel.h"

#include <QPainter>

TCaptionPanel::TCaptionPanel(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {}

void TCaptionPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(rect(), Qt::AlignCenter, caption_);
}
